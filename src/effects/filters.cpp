#include "effects/filters.h"

#include <cmath>
#include <cstdint>

#include "effects/pixels.h"

namespace Vell::Gfx::GDI::Filters {

namespace {

// A level or brightness as the byte the pixel arithmetic takes: truncated, then held in 0 … 255
// (a value outside must not wrap around into a different colour).
uint8_t ToByte(float value) {
  if (!(value > 0)) {
    return 0;
  }
  return value >= 255 ? 255 : static_cast<uint8_t>(value);
}

int ToInt(float value) {
  if (!(std::fabs(value) < 2e9f)) {
    return value > 0 ? 2000000000 : (value < 0 ? -2000000000 : 0);
  }
  return static_cast<int>(value);
}

const std::vector<float>& Checked(const std::vector<float>& params) {
  if (params.size() < 2) {
    throw Filter::InvalidParamList();
  }
  return params;
}

}  // namespace

Filter::Filter(const char* name, int start, int end, const std::vector<float>& params)
    : Collectable(name), start(start), end(end), lastTime(start) {}

Fade::Fade(const char* name, int start, int end, const std::vector<float>& params,
           bool startAtTarget)
    : Filter(name, start, end, params), level(0), target(Checked(params)[0]), rate(params[1]) {
  if (startAtTarget) {
    level = target;
  }
}

void Fade::Track(int frame) {
  const float dt = static_cast<float>(frame - lastTime);
  lastTime = frame;
  if (!fadingOut) {
    if (level < target) {
      level += rate * dt;
      if (level > target) {
        level = target;
      }
    }
  } else if (level > target) {
    level -= rate * dt;
    if (level < 0) {
      level = 0;
    } else if (level < target) {
      level = target;
    }
  }
}

void Fade::Apply(Image* bitmap) {
  const uint8_t amount = ToByte(level);
  if (amount == 0 || bitmap == nullptr || bitmap->Empty()) {
    return;
  }
  Pixels::SubtractColour(bitmap->Pixels(), static_cast<size_t>(bitmap->Width()) * bitmap->Height(),
                         amount);
  bitmap->ColoursChanged();
}

bool Fade::IsFinished() const { return fadingOut ? level == 0 : level >= target; }

void Fade::Restart() { level = fadingOut ? 0 : target; }

void Fade::SetParams(const std::vector<float>& params) {
  if (!params.empty()) {
    target = params[0];
  }
  if (params.size() >= 2) {
    rate = params[1];
  }
}

Strobe::Strobe(const char* name, int start, int end, const std::vector<float>& params)
    : Filter(name, start, end, params),
      period(ToInt(Checked(params)[0])),
      brightness(ToByte(static_cast<float>(ToInt(params[1])))) {}

void Strobe::Track(int frame) {
  elapsed += frame - lastTime;
  lastTime = frame;
  // elapsed / period > 1 in real numbers: more than period frames have gathered. A period of 0
  // counts as an endless quotient (toggles whenever time passed); a negative one never toggles.
  const bool due = period > 0 ? elapsed > period : (period == 0 && elapsed > 0);
  if (!due) {
    return;
  }
  if (!lit && minOnInterval > 0 &&
      static_cast<int64_t>(frame) - lastOn < static_cast<int64_t>(minOnInterval)) {
    return;  // too soon after the previous flash: stay dark until the limit allows it
  }
  elapsed = 0;
  lit = !lit;
  if (lit) {
    lastOn = frame;
  }
}

void Strobe::Apply(Image* bitmap) {
  if (!lit || brightness == 0 || bitmap == nullptr || bitmap->Empty()) {
    return;
  }
  Pixels::AddColour(bitmap->Pixels(), static_cast<size_t>(bitmap->Width()) * bitmap->Height(),
                    static_cast<uint8_t>(brightness));
  bitmap->ColoursChanged();
}

void Collector::Apply(int frame, Canvas* canvas) {
  if (canvas == nullptr) {
    return;
  }
  auto* walk = GetEnumerator();
  while (walk->MoveNext()) {
    auto* filter = static_cast<Filter*>(walk->Current());
    if (filter->start <= frame && frame <= filter->end) {
      filter->Track(frame);
      filter->Apply(&canvas->Bitmap());
    }
  }
}

}  // namespace Vell::Gfx::GDI::Filters
