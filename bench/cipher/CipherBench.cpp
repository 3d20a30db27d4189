// Encryption throughput of our Blowfish block operation and CBC chaining,
// side by side with OpenSSL's Blowfish (legacy provider) in the same run, over
// 1 MiB and 64 MiB buffers. Prints the ratio ours / OpenSSL for each pair.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/CxProc.h"

namespace {

const uint8_t kKey[16] = {0x69, 0x13, 0x04, 0x78, 0xB5, 0x35, 0x7E, 0xDC,
                          0xC0, 0xA6, 0x59, 0xCC, 0x1A, 0x5D, 0x98, 0x8C};

std::vector<uint8_t> Buffer(int64_t size) {
    std::vector<uint8_t> b(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 131 + 7);
    return b;
}

void OursBlock(benchmark::State& state) {
    auto buf = Buffer(state.range(0));
    BlowfishContext ctx;
    BlowfishInitKey(kKey, ctx);
    for (auto _ : state) {
        for (std::size_t i = 0; i < buf.size(); i += 8) BlowfishEncryptBlock(ctx, buf.data() + i, true);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OursCbc(benchmark::State& state) {
    auto buf = Buffer(state.range(0));
    BlowfishContext ctx;
    BlowfishInitKey(kKey, ctx);
    for (auto _ : state) {
        uint8_t prev[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        for (std::size_t i = 0; i < buf.size(); i += 8) {
            BlowfishEncryptBlockCBC(ctx, prev, buf.data() + i, true);
            for (int k = 0; k < 8; ++k) prev[k] = buf[i + k];
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The library's whole CBC stream routine, memory to memory (vector block and
// final block included), for what a caller sees.
void OursCbcStream(benchmark::State& state) {
    auto buf = Buffer(state.range(0));
    TMemoryStream in;
    in.WriteBuffer(buf.data(), static_cast<int64_t>(buf.size()));
    for (auto _ : state) {
        in.SetPosition(0);
        TMemoryStream out;
        BlowfishEncryptStreamCBC(in, out, kKey, true);
        benchmark::DoNotOptimize(out.Memory());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpenSsl(benchmark::State& state, const char* name) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
    if (cipher == nullptr) {
        state.SkipWithError("OpenSSL Blowfish not available (legacy provider)");
        return;
    }
    auto buf = Buffer(state.range(0));
    std::vector<uint8_t> out(buf.size() + 16);
    const uint8_t iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex2(ctx, cipher, nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_set_key_length(ctx, 16);
    EVP_EncryptInit_ex2(ctx, nullptr, kKey, iv, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    for (auto _ : state) {
        EVP_EncryptInit_ex2(ctx, nullptr, nullptr, iv, nullptr);
        int len = 0;
        EVP_EncryptUpdate(ctx, out.data(), &len, buf.data(), static_cast<int>(buf.size()));
        benchmark::DoNotOptimize(len);
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void OpenSslBlock(benchmark::State& state) { OpenSsl(state, "BF-ECB"); }
void OpenSslCbc(benchmark::State& state) { OpenSsl(state, "BF-CBC"); }

constexpr int64_t kMiB = 1 << 20;

// Collects bytes per second to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end() && !r.error_occurred) speed_[r.benchmark_name()] = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nThroughput ratio, ours / OpenSSL Blowfish (above 1: ours is faster)\n");
        for (const char* size : {"1048576", "67108864"}) {
            Ratio("block (ECB)", "OursBlock", "OpenSslBlock", size);
            Ratio("CBC        ", "OursCbc", "OpenSslCbc", size);
            Ratio("CBC stream ", "OursCbcStream", "OpenSslCbc", size);
        }
    }

private:
    void Ratio(const char* label, const std::string& ours, const std::string& theirs, const std::string& size) {
        auto a = speed_.find(ours + "/" + size), b = speed_.find(theirs + "/" + size);
        if (a == speed_.end() || b == speed_.end() || b->second == 0) return;
        std::printf("  %s %3lld MiB: %.2f  (%.0f vs %.0f MB/s)\n", label,
                    std::stoll(size) / kMiB, a->second / b->second, a->second / 1e6, b->second / 1e6);
    }
    std::map<std::string, double> speed_;
};

}  // namespace

BENCHMARK(OursBlock)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSslBlock)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OursCbc)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenSslCbc)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);
BENCHMARK(OursCbcStream)->Arg(kMiB)->Arg(64 * kMiB)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // Blowfish lives in OpenSSL 3's legacy provider; keep the default one too.
    OSSL_PROVIDER* legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    OSSL_PROVIDER* deflt = OSSL_PROVIDER_load(nullptr, "default");
    if (legacy == nullptr) std::fprintf(stderr, "bench_cipher: OpenSSL legacy provider not found\n");
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (legacy) OSSL_PROVIDER_unload(legacy);
    if (deflt) OSSL_PROVIDER_unload(deflt);
    return 0;
}
