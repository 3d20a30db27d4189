// Mutated streams: every load must end in a component or an EReadError,
// never in a crash, a hang, a leak or another exception (the sanitizer build
// watches memory).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "StreamingSample.h"
#include "tests/support/Mutate.h"
#include "tests/support/TestSupport.h"

using namespace streamtest;

namespace {

TEST(StreamingFuzz, MutatedStreamsLoadOrRaiseReadError) {
    RegisterClasses({TSample::StaticClassType()});
    std::vector<std::string> seeds;
    for (const char* name : {"full.bin", "defaults.bin", "flags.frombin", "values.frombin", "typed.bin"})
        seeds.push_back(testsupport::ReadAll(testsupport::DataPath(std::string("rtl/streams/") + name)));
    // flags.frombin reads "inherited" children: give them something to find.
    std::mt19937 rng(20240315);
    int loads = 0, errors = 0, texts = 0;
    auto start = std::chrono::steady_clock::now();
    constexpr int kRuns = 100000;
    for (int run = 0; run < kRuns; ++run) {
        const std::string& seed = seeds[static_cast<std::size_t>(run) % seeds.size()];
        std::string data = testsupport::MutateBytes(seed, rng);
        try {
            TStringStream s(data);
            TReader reader(&s);
            if (run % 2 == 0)
                reader.OnError = [](TReader*, const std::string&, bool& handled) { handled = true; };
            std::unique_ptr<TComponent> root(reader.ReadRootComponent(nullptr));
            ++loads;
        } catch (const EReadError&) {
            ++errors;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "run " << run << ": " << e.what();
        }
        if (run % 10 == 0) {
            try {
                TStringStream in(data), out;
                ObjectBinaryToText(in, out);
                ++texts;
                TStringStream text(out.DataString()), bin;
                ObjectTextToBinary(text, bin);
            } catch (const EReadError&) {
            } catch (const std::exception& e) {
                ADD_FAILURE() << "text run " << run << ": " << e.what();
            }
        }
    }
    EXPECT_EQ(loads + errors, kRuns);
    // The mutations must reach both outcomes, or they test nothing.
    EXPECT_GT(loads, kRuns / 20);
    EXPECT_GT(errors, kRuns / 20);
    EXPECT_GT(texts, 0);
    std::cout << "loads " << loads << ", read errors " << errors << ", "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count()
              << " ms\n";
}

}  // namespace
