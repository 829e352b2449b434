// The manual in data/help: every local link of every page (href and src in HTML, url() in CSS)
// names a file of the manual that exists, every #fragment an id of its page, and nothing reaches
// outside (no scheme such as http:, no "//" host, no absolute path, no way out through "..").
// The checker is also run on a small manual written here with one fault of each kind, so it is
// known to catch them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The values of the attributes NAME (href, src, id) inside the tags of an HTML text: quoted with
// " or ', or unquoted up to a space or '>'. Comments are skipped.
std::vector<std::string> AttributeValues(const std::string& html, const std::string& name) {
  std::vector<std::string> values;
  const std::string lower = Lower(html);
  size_t at = 0;
  while ((at = lower.find('<', at)) != std::string::npos) {
    if (lower.compare(at, 4, "<!--") == 0) {
      const size_t end = lower.find("-->", at);
      at = end == std::string::npos ? lower.size() : end + 3;
      continue;
    }
    const size_t close = lower.find('>', at);
    const size_t end = close == std::string::npos ? lower.size() : close;
    size_t pos = at + 1;
    while ((pos = lower.find(name, pos)) < end) {
      const bool starts = std::isspace(static_cast<unsigned char>(lower[pos - 1])) != 0;
      size_t p = pos + name.size();
      while (p < end && lower[p] == ' ') {
        ++p;
      }
      if (!starts || p >= end || lower[p] != '=') {
        pos += name.size();
        continue;
      }
      ++p;
      while (p < end && lower[p] == ' ') {
        ++p;
      }
      std::string value;
      if (p < end && (html[p] == '"' || html[p] == '\'')) {
        const size_t stop = html.find(html[p], p + 1);
        value = html.substr(p + 1, (stop == std::string::npos ? end : stop) - p - 1);
        p = stop == std::string::npos ? end : stop + 1;
      } else {
        const size_t stop = html.find_first_of(" \t\r\n>", p);
        value = html.substr(p, (stop == std::string::npos ? end : stop) - p);
        p = stop == std::string::npos ? end : stop;
      }
      for (size_t amp; (amp = value.find("&amp;")) != std::string::npos;) {
        value.replace(amp, 5, "&");
      }
      values.push_back(value);
      pos = p;
    }
    at = end;
  }
  return values;
}

// The targets of url(...) in a style sheet.
std::vector<std::string> CssUrls(const std::string& css) {
  std::vector<std::string> urls;
  const std::string lower = Lower(css);
  for (size_t at = 0; (at = lower.find("url(", at)) != std::string::npos; at += 4) {
    const size_t close = css.find(')', at);
    std::string value = css.substr(at + 4, close == std::string::npos ? 0 : close - at - 4);
    value.erase(0, value.find_first_not_of(" \t\"'"));
    value.erase(value.find_last_not_of(" \t\"'") + 1);
    urls.push_back(value);
  }
  // @import "file.css" without url().
  for (size_t at = 0; (at = lower.find("@import", at)) != std::string::npos; at += 7) {
    const size_t quote = css.find_first_of("\"'", at);
    if (quote != std::string::npos &&
        css.compare(at + 7, quote - at - 7, std::string(quote - at - 7, ' ')) == 0) {
      urls.push_back(css.substr(quote + 1, css.find(css[quote], quote + 1) - quote - 1));
    }
  }
  return urls;
}

// Why LINK, found in FILE of the manual in ROOT, does not resolve to a file of the manual (and,
// with a fragment, to an id of that file); empty when it does.
std::string LinkProblem(const fs::path& root, const fs::path& file, const std::string& link) {
  const std::string where = fs::relative(file, root).string() + ": \"" + link + "\"";
  if (link.empty()) {
    return where + " is empty";
  }
  const size_t colon = link.find(':');
  const size_t slash = link.find('/');
  if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) {
    return where + " has a scheme: it leaves the manual";
  }
  if (link[0] == '/' || link[0] == '\\') {
    return where +
           (link.size() > 1 && link[1] == '/' ? " names another host" : " is an absolute path");
  }
  std::string path = link;
  std::string fragment;
  if (const size_t hash = path.find('#'); hash != std::string::npos) {
    fragment = path.substr(hash + 1);
    path.erase(hash);
  }
  if (const size_t query = path.find('?'); query != std::string::npos) {
    path.erase(query);
  }
  const fs::path target = path.empty() ? file : (file.parent_path() / path).lexically_normal();
  const fs::path inside = target.lexically_relative(root.lexically_normal());
  if (inside.empty() || *inside.begin() == "..") {
    return where + " points outside the manual's folder";
  }
  if (!fs::is_regular_file(target)) {
    return where + " names a file that does not exist";
  }
  if (!fragment.empty()) {
    const std::vector<std::string> ids = AttributeValues(ReadAll(target), "id");
    if (std::find(ids.begin(), ids.end(), fragment) == ids.end()) {
      return where + " names an id that " + fs::relative(target, root).string() + " lacks";
    }
  }
  return {};
}

// Every problem of the manual in ROOT; empty when all links resolve.
std::vector<std::string> CheckManual(const fs::path& root) {
  std::vector<std::string> problems;
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string extension = Lower(file.extension().string());
    std::vector<std::string> links;
    if (extension == ".html" || extension == ".htm") {
      const std::string html = ReadAll(file);
      links = AttributeValues(html, "href");
      for (std::string& src : AttributeValues(html, "src")) {
        links.push_back(std::move(src));
      }
      for (std::string& url : CssUrls(html)) {  // inline style attributes and elements
        links.push_back(std::move(url));
      }
    } else if (extension == ".css") {
      links = CssUrls(ReadAll(file));
    }
    for (const std::string& link : links) {
      if (std::string problem = LinkProblem(root, file, link); !problem.empty()) {
        problems.push_back(std::move(problem));
      }
    }
  }
  return problems;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += "  " + line + "\n";
  }
  return text;
}

const fs::path kManual = fs::path(TAVRO_SOURCE_DIR) / "data" / "help";

TEST(HelpLinks, EveryLinkOfTheManualResolvesInsideIt) {
  ASSERT_TRUE(fs::is_regular_file(kManual / "index.html")) << "the window opens help/index.html";
  const std::vector<std::string> problems = CheckManual(kManual);
  EXPECT_TRUE(problems.empty()) << Joined(problems);

  // The pages do link each other and their pictures: a checker that found no links at all would
  // pass any manual.
  size_t links = 0;
  size_t pictures = 0;
  for (const auto& entry : fs::directory_iterator(kManual)) {
    if (entry.path().extension() == ".html") {
      const std::string html = ReadAll(entry.path());
      links += AttributeValues(html, "href").size();
      for (const std::string& src : AttributeValues(html, "src")) {
        ++pictures;
        // Pictures are real PNG files.
        EXPECT_EQ(ReadAll(entry.path().parent_path() / src).substr(0, 8), "\x89PNG\r\n\x1a\n")
            << src;
      }
    }
  }
  EXPECT_GE(links, 20u);
  std::cout << links << " links and " << pictures << " pictures checked\n";
}

class HelpLinksChecker : public ::testing::Test {
 protected:
  void SetUp() override {
    root =
        fs::temp_directory_path() /
        ("tavro-help-links-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root);
    fs::create_directories(root / "images");
    Write("style.css", "body { background: url(images/back.png); }\n");
    Write("images/back.png", "png");
    Write("other.html", "<html><body><h2 id=\"part\">Part</h2></body></html>\n");
  }
  void TearDown() override { fs::remove_all(root); }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(root / name, std::ios::binary) << text;
  }
  fs::path root;
};

TEST_F(HelpLinksChecker, AcceptsLocalLinksOfEveryForm) {
  Write("index.html",
        "<!DOCTYPE html><html><head><link rel=stylesheet href=style.css></head><body>\n"
        "<!-- <a href=\"http://commented.out\"> -->\n"
        "<A HREF='other.html#part'>x</A> <a href=\"#top\" id=\"top\">top</a>\n"
        "<img src=\"images/back.png\" alt=\"\"> <a "
        "href=\"./images/../other.html?x=1&amp;y=2\">y</a>\n"
        "<p data-href=\"nowhere.html\">an attribute that only ends in href</p>\n"
        "</body></html>\n");
  const std::vector<std::string> problems = CheckManual(root);
  EXPECT_TRUE(problems.empty()) << Joined(problems);
}

TEST_F(HelpLinksChecker, FindsEveryKindOfBrokenOrOutsideLink) {
  Write("index.html",
        "<html><head><link rel=\"stylesheet\" href=\"https://cdn.example/font.css\"></head>\n"
        "<body><a href=\"missing.html\">1</a> <a href=\"other.html#nothere\">2</a>\n"
        "<img src=\"//images.example/x.png\"> <a href=\"http://example.org/\">3</a>\n"
        "<a href=\"../outside.html\">4</a> <a href=\"/etc/passwd\">5</a>\n"
        "<a href=\"mailto:someone@example.org\">6</a> <a href=\"images\">7</a>\n"
        "<div style=\"background: url('images/gone.png')\"></div></body></html>\n");
  Write("style.css",
        "@import \"fonts.css\";\nbody { background: url(\"http://x.example/b.png\"); }\n");
  std::ofstream(root.parent_path() / "outside.html") << "outside";
  const std::vector<std::string> problems = CheckManual(root);
  fs::remove(root.parent_path() / "outside.html");

  const std::vector<std::string> expected = {
      "index.html: \"https://cdn.example/font.css\" has a scheme",
      "index.html: \"missing.html\" names a file that does not exist",
      "index.html: \"other.html#nothere\" names an id that other.html lacks",
      "index.html: \"http://example.org/\" has a scheme",
      "index.html: \"../outside.html\" points outside",
      "index.html: \"/etc/passwd\" is an absolute path",
      "index.html: \"mailto:someone@example.org\" has a scheme",
      "index.html: \"images\" names a file that does not exist",
      "index.html: \"//images.example/x.png\" names another host",
      "index.html: \"images/gone.png\" names a file that does not exist",
      "style.css: \"http://x.example/b.png\" has a scheme",
      "style.css: \"fonts.css\" names a file that does not exist"};
  for (const std::string& want : expected) {
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(),
                            [&](const std::string& p) { return p.rfind(want, 0) == 0; }))
        << "missing: " << want << "\nfound:\n"
        << Joined(problems);
  }
  EXPECT_EQ(problems.size(), expected.size()) << Joined(problems);
}

}  // namespace
