// The issued-invoices listing, ours against FPReport's, in one run:
// compiles listing_peer.pas with fpc into the build tree, then for each row
// count runs the two sides alternately, each run in its own process (so that
// each peak resident set is its own), and takes the median of the runs.
// Every run of both sides must print the same grand total as the rows hold
// and the same page count before any ratio is printed.
//
//   bench_listing [--rows=N[,N...]] [--repeats=N] [--ours=PROGRAM]
//
// Rows default to 1000,10000,100000; --rows=1000000 on request. Repeats
// default to 5 (at least 5 for figures worth quoting). A smoke run:
// bench_listing --rows=300 --repeats=1. --ours names another build of our
// side (bench_listing_ours of an older tree) to compare before and after.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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
    return pclose(p) == 0 && Out.count("pages") && Out.count("seconds") && Out.count("total") &&
           Out.count("peak_kib");
}

std::string Arg(int argc, char** argv, const std::string& Name, const std::string& Default) {
    const std::string prefix = "--" + Name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(prefix, 0) == 0) return std::string(argv[i]).substr(prefix.size());
    return Default;
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    const size_t n = Values.size();
    return n % 2 ? Values[n / 2] : (Values[n / 2 - 1] + Values[n / 2]) / 2;
}

struct Side {
    const char* name;
    std::vector<double> seconds, peakKiB;
    Figures last;
};

// Runs both sides Repeats times, alternating; false when a run fails or the
// two sides disagree on pages or grand total.
bool Measure(const std::string& Rows, int Repeats, const std::string& Dir, const std::string& OursProgram,
             const std::string& Fonts, Side& Ours, Side& Peer) {
    for (int r = 0; r < Repeats; ++r) {
        // Which side starts alternates too, so that neither always runs
        // first after the other's exit.
        for (int turn = 0; turn < 2; ++turn) {
            const bool oursNow = (turn == 0) == (r % 2 == 0);
            Side& side = oursNow ? Ours : Peer;
            const std::string command = oursNow ? OursProgram + " " + Rows + " 1"
                                                : Dir + "/listing_peer " + Rows + " 1 " + Fonts;
            Figures f;
            if (!Run(command, f)) {
                std::fprintf(stderr, "%s side failed at %s rows\n", side.name, Rows.c_str());
                return false;
            }
            side.seconds.push_back(f["seconds"]);
            side.peakKiB.push_back(f["peak_kib"]);
            side.last = f;
        }
        const Figures& o = Ours.last;
        const Figures& p = Peer.last;
        bool same = true;
        if (std::fabs(o.at("total") - p.at("total")) > 0.005 || std::fabs(o.at("total") - o.at("expected")) > 0.005) {
            std::printf("%s rows: grand totals differ: ours %.2f, FPReport %.2f, rows %.2f\n", Rows.c_str(),
                        o.at("total"), p.at("total"), o.at("expected"));
            same = false;
        }
        if (o.at("pages") != p.at("pages")) {
            std::printf("%s rows: page counts differ: ours %.0f, FPReport %.0f\n", Rows.c_str(), o.at("pages"),
                        p.at("pages"));
            same = false;
        }
        if (!same) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string rowList = Arg(argc, argv, "rows", "1000,10000,100000");
    const int repeats = std::max(1, std::atoi(Arg(argc, argv, "repeats", "5").c_str()));
    const std::string dir = LISTING_BUILD_DIR;
    const std::string fonts = Arg(argc, argv, "fonts", "/usr/share/fonts/truetype/liberation");
    const std::string oursProgram = Arg(argc, argv, "ours", dir + "/bench_listing_ours");

    const std::string compile = "fpc -O2 -v0 -FE" + dir + " -FU" + dir + " " + LISTING_PEER_SOURCE + " >" + dir +
                                "/listing_peer.log 2>&1";
    if (std::system(compile.c_str()) != 0) {
        std::fprintf(stderr, "fpc failed; see %s/listing_peer.log\n", dir.c_str());
        return 1;
    }
    std::vector<std::string> sizes;
    std::stringstream list(rowList);
    for (std::string item; std::getline(list, item, ',');)
        if (!item.empty()) sizes.push_back(item);

    std::printf("medians of %d alternating runs per side; each run in its own process\n", repeats);
    std::printf("%9s %7s %10s %10s %10s %10s %8s %9s %9s %8s\n", "rows", "pages", "ours s", "FPRep s", "ours p/s",
                "FPRep p/s", "speed x", "ours MiB", "FPRep MiB", "memory");
    std::vector<Side> ours(sizes.size(), Side{"our"}), peer(sizes.size(), Side{"the FPReport"});
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (!Measure(sizes[i], repeats, dir, oursProgram, fonts, ours[i], peer[i])) return 1;
        const double pages = ours[i].last["pages"];
        const double os = Median(ours[i].seconds), ps = Median(peer[i].seconds);
        const double om = Median(ours[i].peakKiB) / 1024, pm = Median(peer[i].peakKiB) / 1024;
        std::printf("%9s %7.0f %10.3f %10.3f %10.1f %10.1f %8.1f %9.1f %9.1f %8.3f\n", sizes[i].c_str(), pages, os, ps,
                    pages / os, pages / ps, ps / os, om, pm, om / pm);
        std::fflush(stdout);
    }
    std::printf("speed x = pages/s ours / FPReport; memory = peak resident set ours / FPReport\n");
    for (size_t i = 0; i < sizes.size(); ++i) {
        Figures& o = ours[i].last;
        std::printf("%s rows: grand total %.2f on both; ours keeps its %.0f pages in %.1f MiB (%.0f commands); "
                    "page %.0f alone after the run %.2f ms (%.0f page made, number %.0f); state cache %.0f bytes\n",
                    sizes[i].c_str(), o["total"], o["pages"], o["store_bytes"] / 1048576, o["commands"],
                    o["single_page"], o["single_seconds"] * 1000, o["single_pages_made"], o["single_number"],
                    o["cache_bytes"]);
    }
    return 0;
}
