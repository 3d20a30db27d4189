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
#include "tests/support/TestSupport.h"

using namespace streamtest;

namespace {

std::string Mutate(std::string s, std::mt19937& rng) {
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    static const unsigned char interesting[] = {0x00, 0x01, 0x02, 0x06, 0x0A, 0x0B, 0x0E, 0x0C,
                                                0x13, 0x15, 0x7F, 0x80, 0xF1, 0xF2, 0xFF};
    int edits = 1 + static_cast<int>(pick(4));
    for (int e = 0; e < edits && !s.empty(); ++e) {
        std::size_t at = pick(s.size());
        switch (pick(8)) {
            case 0: s[at] = static_cast<char>(s[at] ^ (1 << pick(8))); break;
            case 1: s[at] = static_cast<char>(interesting[pick(sizeof interesting)]); break;
            case 2: s[at] = static_cast<char>(pick(256)); break;
            case 3: s.insert(at, 1, static_cast<char>(interesting[pick(sizeof interesting)])); break;
            case 4: s.erase(at, 1 + pick(8)); break;
            case 5: s.resize(at); break;
            case 6: {
                // A length or count field made huge.
                std::string big = pick(2) ? std::string("\xFF\xFF\xFF\x7F", 4) : std::string("\x00\x00\x00\x80", 4);
                s.replace(at, std::min<std::size_t>(4, s.size() - at), big);
                break;
            }
            default: {
                // A chunk repeated: duplicate properties, nested lists, objects.
                std::size_t len = 1 + pick(std::min<std::size_t>(40, s.size() - at));
                s.insert(at, s.substr(at, len));
                break;
            }
        }
    }
    return s;
}

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
        std::string data = Mutate(seed, rng);
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
