// Throughput of the navigation math, the magnetic model and the formatters.

#include "nav/Formatters.h"
#include "nav/NMEASimulator.h"
#include "nav/NavMath.h"
#include "nav/UnitsModel.h"

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

// A spread of positions so that no branch is always taken.
std::array<NavPoint, 64> positions() {
    std::array<NavPoint, 64> p{};
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = {static_cast<float>(i * 37 % 360) - 180.0f, static_cast<float>(i * 23 % 170) - 85.0f};
    return p;
}

void SGMagVarCalls(benchmark::State& state) {
    const auto p = positions();
    const unsigned long day = yymmdd_to_julian_days(107, 6, 1);
    size_t i = 0;
    for (auto _ : state) {
        const NavPoint& q = p[i++ % p.size()];
        benchmark::DoNotOptimize(SGMagVar(deg_to_rad(q.y), deg_to_rad(q.x), 0.0, day, 9));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SGMagVarCalls);

void DistanceFromPoint(benchmark::State& state) {
    const auto p = positions();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NavMath::distanceFromPoint(p[i % p.size()], p[(i + 1) % p.size()]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DistanceFromPoint);

void BearingFromPoint(benchmark::State& state) {
    const auto p = positions();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(NavMath::bearingFromPoint(p[i % p.size()], p[(i + 1) % p.size()]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BearingFromPoint);

// Each formatter's stringForObjectValue under every unit code it knows (the argument).
template <class F>
void Format(benchmark::State& state, F formatter, void (UnitsModel::*setUnits)(unsigned), float value) {
    UnitsModel::units() = UnitsModel();
    if (setUnits)
        (UnitsModel::units().*setUnits)(static_cast<unsigned>(state.range(0)));
    float v = value;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatter.stringForObjectValue(v));
        v = v == value ? value * 0.5f : value; // two values, no constant folding
    }
    state.SetItemsProcessed(state.iterations());
    UnitsModel::units() = UnitsModel();
}

BENCHMARK_CAPTURE(Format, Position, NSPositionFormatter(NSPositionFormatter::Latitude),
                  &UnitsModel::setPositionFormatUnits, -33.8667f)
    ->DenseRange(0, 3);
BENCHMARK_CAPTURE(Format, Sog, NSSogFormatter(), &UnitsModel::setBoatSpeedUnits, 6.5f)->DenseRange(0, 2);
BENCHMARK_CAPTURE(Format, Cog, NSCogFormatter(), nullptr, 123.4f)->Arg(0);
BENCHMARK_CAPTURE(Format, Dtw, NSDtwFormatter(), &UnitsModel::setSurfaceDistanceUnits, 1234.5f)->DenseRange(0, 4);
BENCHMARK_CAPTURE(Format, Xte, NSXteFormatter(), &UnitsModel::setSurfaceDistanceUnits, -0.25f)->DenseRange(0, 4);
BENCHMARK_CAPTURE(Format, Eta, NSEtaFormatter(), nullptr, 2.5f)->Arg(0);
BENCHMARK_CAPTURE(Format, Dpt, NSDptFormatter(), &UnitsModel::setWaterDepthUnits, 1234.5f)->DenseRange(0, 2);
BENCHMARK_CAPTURE(Format, Tmp, NSTmpFormatter(), &UnitsModel::setTemperatureUnits, 50.0f)->DenseRange(0, 2);
BENCHMARK_CAPTURE(Format, Awa, NSAwaFormatter(), nullptr, -35.0f)->Arg(0);
BENCHMARK_CAPTURE(Format, Aws, NSAwsFormatter(), &UnitsModel::setWindSpeedUnits, 14.2f)->DenseRange(0, 3);
BENCHMARK_CAPTURE(Format, Length, NSLengthFormatter(), &UnitsModel::setSurfaceDistanceUnits, 1234.5f)
    ->DenseRange(0, 4);

void NmeaFormat(benchmark::State& state) {
    NSPositionFormatter f(NSPositionFormatter::Longitude);
    for (auto _ : state)
        benchmark::DoNotOptimize(f.nmeaFormat(-151.25f));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(NmeaFormat);

// A whole cycle of twelve simulated sentences.
void SimulatorCycle(benchmark::State& state) {
    NMEASimulator sim;
    sim.seed(1);
    sim.setSpeed(6.0f);
    sim.setHeading(45.0f);
    for (auto _ : state) {
        while (auto sentence = sim.nextSentence())
            benchmark::DoNotOptimize(sentence->data());
    }
    state.SetItemsProcessed(state.iterations() * 12);
}
BENCHMARK(SimulatorCycle);

} // namespace
