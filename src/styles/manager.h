// The styles manager: reads every style from "styles.xml" and its style files in the styles
// folder at first use, keeps one style current, chooses a style from the song's instruments with
// the weights of "auto.xml", and prepares, resets and hands out the styles to the player.
// Construction and selection run on the user-interface thread (or while the player prepares a
// song); the current style is tracked and drawn on the frame thread under the frame lock, which
// the caller of a selection also holds. Owns every style and the fallback style.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>

#include "framework/exception.h"
#include "framework/interfaces.h"
#include "framework/singleton.h"
#include "styles/style.h"

namespace Kesh::Styles {

class Manager final : public Vell::Singleton<Manager>, public Vell::ITriggerable {
 public:
  // Detail: the file and the reason.
  class DatafileNotLoadedException : public Vell::Exception {
   public:
    using Exception::Exception;
  };

  // The order of the five weights of a patch.
  enum Genre { kElectronic = 0, kRock = 1, kJazz = 2, kClassic = 3, kPop = 4 };
  using Weights = std::array<int, 5>;

  static constexpr const char* kFolder = "./styles/";
  static constexpr const char* kIndex = "styles.xml";
  static constexpr const char* kAuto = "auto.xml";

  ~Manager();

  // The first style, in id order, whose name equals name ignoring case; the fallback otherwise.
  Style* FindByName(const std::string& name) const;
  // The style of that id, or the fallback.
  Style* GetById(int id) const;
  Style* GetCurrent() const { return current; }
  Style* GetFallback() const { return fallback.get(); }
  int Count() const { return static_cast<int>(styles.size()); }

  // Make a style current: it starts, then the previous one stops. false when it already is.
  bool SelectByName(const std::string& name);
  // id < 0: no style is current (the previous one is not stopped). An unknown id selects the
  // fallback.
  bool SelectById(int id);
  // Chooses rock, classic, electronic, jazz or pop from the show's instrument patches.
  bool SelectAuto();
  // The genre the weights of these patches choose (see SelectAuto), and its style name.
  Genre ChooseGenre(const std::vector<int>& patches) const;
  static const char* GenreName(Genre genre);

  // What the styles reach of the show and the crowd; either may be null (the automations and
  // crowd calls are then skipped).
  void SetShow(IShow* show) { links.show = show; }
  void SetCrowd(Audio::ICrowd* crowd) { links.crowd = crowd; }
  const Links& GetLinks() const { return links; }

  // ITriggerable: Prepare computes the first entrance, then resets and prepares every style;
  // Reset resets every style.
  bool Start() override { return true; }
  bool Stop() override { return true; }
  bool Reset() override;
  bool Prepare() override;

  // The smallest non-negative first key time of the performers' arrival sets; 0 when none.
  static int FirstEntrance(const IShow& show);

  const std::map<int, Weights>& AutoWeights() const { return autoWeights; }

 private:
  friend class Vell::Singleton<Manager>;
  // Reads the styles folder under the current directory; throws DatafileNotLoadedException.
  Manager();

  void LoadIndex();
  void LoadAuto();
  bool Switch(Style* style);

  std::unique_ptr<Style> fallback;
  Style* current = nullptr;
  std::map<int, Weights> autoWeights;
  std::map<int, std::unique_ptr<Style>> styles;
  Links links;
};

}  // namespace Kesh::Styles
