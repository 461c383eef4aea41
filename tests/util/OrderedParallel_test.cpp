#include "util/OrderedParallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace orvane {
namespace {

struct NoState {};

std::atomic<std::uint64_t> g_sink{0};

// Uneven work so that later indices often finish before earlier ones.
std::int64_t Work(std::int64_t i)
{
    std::uint64_t acc = static_cast<std::uint64_t>(i);
    const std::int64_t rounds = (i % 7) * 20000;
    for (std::int64_t k = 0; k < rounds; ++k) acc = (acc * 6364136223846793005ULL + 1) & 0xFFFFFFFFu;
    g_sink += acc;  // keeps the busy work from being optimised away
    return i * 10;
}

TEST(OrderedParallel, ConsumesInIndexOrderWhateverTheThreadCount)
{
    for (int threads : {1, 2, 3, 8}) {
        std::vector<std::int64_t> seen;
        OrderedParallel<std::int64_t, NoState>::Run(
            200, threads, 5, [](std::int64_t i, NoState&) { return Work(i); },
            [&](std::int64_t i, std::int64_t&& v) {
                EXPECT_EQ(v, i * 10);
                seen.push_back(i);
            });
        ASSERT_EQ(seen.size(), 200u) << threads << " threads";
        for (std::size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k], static_cast<std::int64_t>(k));
    }
}

TEST(OrderedParallel, NeverRunsMoreThanTheWindowAheadOfTheConsumer)
{
    std::atomic<std::int64_t> consumed{0};
    std::atomic<std::int64_t> worstLead{0};
    constexpr std::int64_t kWindow = 6;
    OrderedParallel<int, NoState>::Run(
        300, 4, kWindow,
        [&](std::int64_t i, NoState&) {
            const std::int64_t lead = i - consumed.load();
            std::int64_t w = worstLead.load();
            while (lead > w && !worstLead.compare_exchange_weak(w, lead)) {
            }
            return static_cast<int>(Work(i) % 3);
        },
        [&](std::int64_t i, int&&) { consumed.store(i + 1); });
    EXPECT_LE(worstLead.load(), kWindow);
}

TEST(OrderedParallel, ErrorsSurfaceInOrderAndStopTheRun)
{
    for (int threads : {1, 4}) {
        std::vector<std::int64_t> seen;
        try {
            OrderedParallel<int, NoState>::Run(
                100, threads, 8,
                [](std::int64_t i, NoState&) {
                    if (i == 37 || i == 60) throw std::runtime_error("bad tile " + std::to_string(i));
                    return 1;
                },
                [&](std::int64_t i, int&&) { seen.push_back(i); });
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "bad tile 37");
        }
        EXPECT_EQ(seen.size(), 37u);
    }
}

TEST(OrderedParallel, AConsumerErrorStopsTheWorkers)
{
    std::atomic<std::int64_t> produced{0};
    auto run = [&] {
        OrderedParallel<int, NoState>::Run(
            100000, 3, 4,
            [&](std::int64_t, NoState&) {
                ++produced;
                return 0;
            },
            [](std::int64_t i, int&&) {
                if (i == 10) throw std::logic_error("stop");
            });
    };
    EXPECT_THROW(run(), std::logic_error);
    EXPECT_LT(produced.load(), 100);
}

} // namespace
} // namespace orvane
