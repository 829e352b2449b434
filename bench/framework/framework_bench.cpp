// Keyframe-track evaluation (what every sprite does every frame) and collector operations.
#include <benchmark/benchmark.h>

#include <vector>

#include "framework/collections.h"
#include "framework/keyframing.h"

namespace {

using namespace Vell::Keyframing::Runtime;
using Vell::Math::Vector3;

Vector<Vector3> MakeTrack(int keys) {
  KeyList<Vector3> list;
  for (int i = 0; i < keys; ++i) {
    list.keys.push_back({i * 25, {float(i), float(2 * i), 0}, 0.2f, 0.3f});
  }
  Vector<Vector3> track;
  track.SetKeys(list);
  return track;
}

// One evaluation per frame over a whole show: the time sweeps the keyed range.
void BM_VectorTrackEvaluate(benchmark::State& state) {
  const int keys = static_cast<int>(state.range(0));
  Vector<Vector3> track = MakeTrack(keys);
  const int span = keys * 25;
  int t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(track.Evaluate(t));
    t = (t + 7) % span;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_VectorTrackEvaluate)->Arg(2)->Arg(64)->Arg(4096);

void BM_DiscreteTrackEvaluate(benchmark::State& state) {
  VectorD<unsigned char> track;
  std::vector<KeyD<unsigned char>> keys;
  for (int i = 0; i < 1024; ++i) {
    keys.push_back({i * 10, static_cast<unsigned char>(i & 1)});
  }
  track.SetKeys(keys);
  int t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(track.Evaluate(t));
    t = (t + 3) % 10240;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DiscreteTrackEvaluate);

void BM_EaseCompute(benchmark::State& state) {
  float t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Vell::Keyframing::Ease::Compute(t, 0.3f, 0.2f));
    t += 0.001f;
    if (t > 1) {
      t = 0;
    }
  }
}
BENCHMARK(BM_EaseCompute);

// Filling a collector with n elements, finding one by name and emptying it again.
void BM_CollectorAddFindRemove(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::vector<Vell::Collections::Collectable> items;
  items.reserve(n);
  for (int i = 0; i < n; ++i) {
    items.emplace_back(("item" + std::to_string(i)).c_str());
  }
  const std::string last = "item" + std::to_string(n - 1);
  for (auto _ : state) {
    Vell::Collections::CollectorMapped collector;
    for (auto& item : items) {
      collector.Add(&item);
    }
    benchmark::DoNotOptimize(collector.Find(last.c_str()));
    for (auto& item : items) {
      collector.Remove(item.GetId());
    }
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CollectorAddFindRemove)->Arg(16)->Arg(1024)->Arg(16384);

void BM_ListWalk(benchmark::State& state) {
  std::vector<Vell::Object> objects(static_cast<size_t>(state.range(0)));
  Vell::Collections::List list;
  for (auto& object : objects) {
    list.Add(&object);
  }
  for (auto _ : state) {
    auto* e = list.GetEnumerator();
    while (e->MoveNext()) {
      benchmark::DoNotOptimize(e->Current());
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListWalk)->Arg(64);

}  // namespace
