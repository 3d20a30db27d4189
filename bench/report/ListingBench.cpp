// The issued-invoices listing, ours against FPReport's, in one run:
// compiles listing_peer.pas with fpc into the build tree, runs each side in
// its own process (so that each peak resident set is its own), checks that
// both printed the same grand total and page counts within one page, then
// prints pages per second, their ratio and the peak memory of each.
//
//   bench_listing [--rows=N] [--repeats=N]     (100,000 rows, best of 5)
//
// A smoke run: bench_listing --rows=2000 --repeats=1.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using Figures = std::map<std::string, double>;

bool Run(const std::string& Command, Figures& Out) {
    FILE* p = popen(Command.c_str(), "r");
    if (p == nullptr) return false;
    char key[64];
    double value;
    char line[256];
    while (std::fgets(line, sizeof line, p) != nullptr)
        if (std::sscanf(line, "%63s %lf", key, &value) == 2) Out[key] = value;
    return pclose(p) == 0 && Out.count("pages") && Out.count("seconds") && Out.count("total");
}

std::string Arg(int argc, char** argv, const std::string& Name, const std::string& Default) {
    const std::string prefix = "--" + Name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(prefix, 0) == 0) return std::string(argv[i]).substr(prefix.size());
    return Default;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string rows = Arg(argc, argv, "rows", "100000");
    const std::string repeats = Arg(argc, argv, "repeats", "5");
    const std::string dir = LISTING_BUILD_DIR;
    const std::string fonts = Arg(argc, argv, "fonts", "/usr/share/fonts/truetype/liberation");

    const std::string compile = "fpc -O2 -v0 -FE" + dir + " -FU" + dir + " " + LISTING_PEER_SOURCE + " >" + dir +
                                "/listing_peer.log 2>&1";
    if (std::system(compile.c_str()) != 0) {
        std::fprintf(stderr, "fpc failed; see %s/listing_peer.log\n", dir.c_str());
        return 1;
    }
    Figures ours, peer;
    if (!Run(dir + "/bench_listing_ours " + rows + " " + repeats, ours)) {
        std::fprintf(stderr, "our side failed\n");
        return 1;
    }
    if (!Run(dir + "/listing_peer " + rows + " " + repeats + " " + fonts, peer)) {
        std::fprintf(stderr, "the FPReport side failed\n");
        return 1;
    }
    std::printf("rows %s, best of %s\n", rows.c_str(), repeats.c_str());
    bool same = true;
    if (std::fabs(ours["total"] - peer["total"]) > 0.005 || std::fabs(ours["total"] - ours["expected"]) > 0.005) {
        std::printf("grand totals differ: ours %.2f, FPReport %.2f, rows %.2f\n", ours["total"], peer["total"],
                    ours["expected"]);
        same = false;
    }
    if (std::fabs(ours["pages"] - peer["pages"]) > 1) {
        std::printf("page counts differ: ours %.0f, FPReport %.0f\n", ours["pages"], peer["pages"]);
        same = false;
    }
    if (!same) return 1;
    const double oursRate = ours["pages"] / ours["seconds"];
    const double peerRate = peer["pages"] / peer["seconds"];
    std::printf("%-10s %8s %10s %12s %14s\n", "", "pages", "seconds", "pages/s", "peak RSS MiB");
    std::printf("%-10s %8.0f %10.3f %12.1f %14.1f\n", "ours", ours["pages"], ours["seconds"], oursRate,
                ours["peak_kib"] / 1024);
    std::printf("%-10s %8.0f %10.3f %12.1f %14.1f\n", "FPReport", peer["pages"], peer["seconds"], peerRate,
                peer["peak_kib"] / 1024);
    std::printf("grand total %.2f on both\n", ours["total"]);
    std::printf("pages/s ours / FPReport: %.1f x; peak memory ours / FPReport: %.3f\n", oursRate / peerRate,
                ours["peak_kib"] / peer["peak_kib"]);
    std::printf("ours: page %.0f requested alone after the full run: %.2f ms (%.0f page made, number %.0f)\n",
                ours["single_page"], ours["single_seconds"] * 1000, ours["single_pages_made"], ours["single_number"]);
    std::printf("ours: state cache at %.0f pages: %.0f bytes\n", ours["cache_pages"], ours["cache_bytes"]);
    std::printf("ours: the %.0f pages kept in %.1f MiB (%.0f commands)\n", ours["pages"], ours["store_bytes"] / 1048576,
                ours["commands"]);
    return 0;
}
