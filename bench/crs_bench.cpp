// The cost per point of what the MIF writer does with --coordsys and --from: read the two
// number texts, transform, write "x y". Each piece alone too, to see where the time goes.
// Build: cmake --build build/native --target crs_bench (needs libbenchmark-dev); run:
// build/native/crs/crs_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "crs/numbers.h"
#include "crs/system.h"
#include "crs/transformer.h"

namespace {

constexpr size_t kPoints = 4096;

// A track's texts as GPS receivers write them (six or seven decimals) around Beijing, in zone
// 39 (115.5-118.5 E).
struct Texts {
  std::vector<std::string> lon, lat;
};

const Texts& Track() {
  static const Texts texts = [] {
    Texts t;
    std::mt19937_64 random(15);
    std::uniform_real_distribution<double> lon(115.6, 118.4), lat(39.4, 41.0);
    for (size_t i = 0; i < kPoints; ++i) {
      char buffer[32];
      t.lon.emplace_back(
          buffer, std::to_chars(buffer, buffer + 32, lon(random), std::chars_format::fixed, 7).ptr);
      t.lat.emplace_back(
          buffer, std::to_chars(buffer, buffer + 32, lat(random), std::chars_format::fixed, 6).ptr);
    }
    return t;
  }();
  return texts;
}

crs::System Parsed(const char* code, const char* towgs84 = nullptr) {
  crs::System system;
  crs::ParseError error{};
  const std::optional<std::string_view> parameters =
      towgs84 ? std::optional<std::string_view>(towgs84) : std::nullopt;
  if (!crs::ParseSystem(code, parameters, &system, &error)) std::abort();
  return system;
}

void FormatPoints(benchmark::State& state, const crs::System& system, crs::Source source) {
  crs::Transformer transformer(system, source);
  const Texts& track = Track();
  char buffer[crs::Transformer::kMaxPointChars];
  for (auto _ : state) {
    for (size_t i = 0; i < kPoints; ++i) {
      benchmark::DoNotOptimize(transformer.FormatPoint(track.lon[i], track.lat[i], buffer));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Parse(benchmark::State& state) {
  const Texts& track = Track();
  for (auto _ : state) {
    for (size_t i = 0; i < kPoints; ++i) {
      double x = 0, y = 0;
      benchmark::DoNotOptimize(crs::ParseDecimal(track.lon[i], &x));
      benchmark::DoNotOptimize(crs::ParseDecimal(track.lat[i], &y));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_FormatMetres(benchmark::State& state) {
  std::vector<double> values;
  for (size_t i = 0; i < kPoints; ++i) values.push_back(39500000.0 + i * 97.123456789);
  char buffer[crs::kMaxNumberChars];
  for (auto _ : state) {
    for (size_t i = 0; i < kPoints; i += 2) {
      benchmark::DoNotOptimize(crs::FormatMetres(values[i], buffer));
      benchmark::DoNotOptimize(crs::FormatMetres(values[i + 1], buffer));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints / 2);
}

void BM_Forward3DegreeZone(benchmark::State& state) {
  const crs::Transformer transformer(Parsed("EPSG:4527"), crs::Source::kWgs84);
  std::vector<double> lon, lat;
  for (size_t i = 0; i < kPoints; ++i) {
    lon.push_back(115.6 + 2.8 * i / kPoints);
    lat.push_back(39.4 + 1.6 * ((i * 7919) % kPoints) / kPoints);
  }
  for (auto _ : state) {
    for (size_t i = 0; i < kPoints; ++i) {
      double x = 0, y = 0;
      benchmark::DoNotOptimize(transformer.Forward(lon[i], lat[i], &x, &y));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_Point3DegreeZone(benchmark::State& state) {
  FormatPoints(state, Parsed("EPSG:4527"), crs::Source::kWgs84);
}
void BM_PointCgcs2000LonLat(benchmark::State& state) {
  FormatPoints(state, Parsed("cgcs2000"), crs::Source::kWgs84);
}
void BM_PointGcj02ToWgs84(benchmark::State& state) {
  FormatPoints(state, Parsed("wgs84"), crs::Source::kGcj02);
}
void BM_PointGcj02To3DegreeZone(benchmark::State& state) {
  FormatPoints(state, Parsed("EPSG:4527"), crs::Source::kGcj02);
}
void BM_PointBd09ToWgs84(benchmark::State& state) {
  FormatPoints(state, Parsed("wgs84"), crs::Source::kBd09);
}
void BM_PointBeijing1954Zone(benchmark::State& state) {
  FormatPoints(state, Parsed("EPSG:2415", "24.47,-130.89,-81.56,1.8,-2.9,3.7,5.2"),
               crs::Source::kWgs84);
}

// The exact path alone, which the grid (FormatPoint's path for a zone) replaces within the zone
// and 3 degrees beyond it; counter max_error_mm: the largest distance between the two over the
// track.
void BM_PointExact3DegreeZone(benchmark::State& state) {
  crs::Transformer transformer(Parsed("EPSG:4527"), crs::Source::kWgs84);
  const Texts& track = Track();
  double worst = 0;
  for (size_t i = 0; i < kPoints; ++i) {
    double lon = 0, lat = 0, x = 0, y = 0, exact_x = 0, exact_y = 0;
    crs::ParseDecimal(track.lon[i], &lon);
    crs::ParseDecimal(track.lat[i], &lat);
    transformer.Transform(lon, lat, &x, &y);
    transformer.Forward(lon, lat, &exact_x, &exact_y);
    worst = std::max(worst, std::hypot(x - exact_x, y - exact_y));
  }
  char buffer[crs::Transformer::kMaxPointChars];
  for (auto _ : state) {
    for (size_t i = 0; i < kPoints; ++i) {
      double lon = 0, lat = 0, x = 0, y = 0;
      crs::ParseDecimal(track.lon[i], &lon);
      crs::ParseDecimal(track.lat[i], &lat);
      transformer.Forward(lon, lat, &x, &y);
      char* end = crs::FormatMetres(x, buffer);
      *end++ = ' ';
      benchmark::DoNotOptimize(crs::FormatMetres(y, end));
    }
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  state.counters["max_error_mm"] = worst * 1000;
}

BENCHMARK(BM_Parse);
BENCHMARK(BM_FormatMetres);
BENCHMARK(BM_Forward3DegreeZone);
BENCHMARK(BM_Point3DegreeZone);
BENCHMARK(BM_PointCgcs2000LonLat);
BENCHMARK(BM_PointGcj02ToWgs84);
BENCHMARK(BM_PointGcj02To3DegreeZone);
BENCHMARK(BM_PointBd09ToWgs84);
BENCHMARK(BM_PointBeijing1954Zone);
BENCHMARK(BM_PointExact3DegreeZone);

}  // namespace

BENCHMARK_MAIN();
