// Times `tarnhelm-cli diff-workbook` on the exports of the large basin before and after one water
// user's edit against the export itself, and reports the peak memory of each, side by side.
//
// The large basin is exported (the book "before"), one water user's depletion of one year is
// changed and everything recomputed (as the baseline dialog would after that edit), and the basin
// is exported again (the book "after"): that second export is the one timed. Then the two books
// are compared, once as they are (sheets with equal fingerprints are skipped; after this edit
// none are, as every scenario carries the baseline's values of the edited water user) and once
// with --no-fingerprints; two exports of the unchanged basin are compared too. Last, the basin is
// exported into a copy of "before", which compares the sheets it writes with the ones they
// replace before it saves. Every command runs as a child process, so that its peak memory
// (ru_maxrss from wait4) is its own.
//
// Usage: diff_bench [--runs N] [--keep] [BASIN.db]
//   BASIN.db  a computed large basin to start from (it is copied); without it one is made with
//             `tarnhelm-cli demo --large` and computed, which takes a minute or two.
//   --runs N  time the export and the comparison N times each, alternately (default 1);
//             medians are printed.
//   --keep    keep the temporary folder and the workbooks.

#include "ChildRun.h"

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const Cli = TARNHELM_CLI_PATH;

using bench::RunResult;

// Runs the command-line tool with args; its standard output is captured, its standard error
// dropped (the progress line).
RunResult runCli(const std::vector<std::string>& args)
{
    return bench::runChild(Cli, args, true, false);
}

RunResult mustRun(const std::vector<std::string>& args, int expected = 0)
{
    const RunResult result = runCli(args);
    if (result.status != expected) {
        std::fprintf(
            stderr, "tarnhelm-cli %s ... exited with %d\n", args.front().c_str(), result.status);
        std::exit(1);
    }
    return result;
}

void exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error ? error : "?");
        std::exit(1);
    }
}

void copyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    if (!in || !out) {
        std::fprintf(stderr, "cannot copy %s to %s\n", from.c_str(), to.c_str());
        std::exit(1);
    }
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Measured {
    std::vector<double> seconds;
    std::vector<double> cpu;
    long maxRssKb = 0;
    void add(const RunResult& r)
    {
        seconds.push_back(r.seconds);
        cpu.push_back(r.cpu);
        maxRssKb = std::max(maxRssKb, r.maxRssKb);
    }
    double wall() const { return median(seconds); }
};

void line(const char* what, const Measured& m)
{
    std::printf("%-44s %8.2f s  (cpu %6.2f s)  peak %6.1f MB\n", what, m.wall(), median(m.cpu),
        m.maxRssKb / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 1;
    bool keep = false;
    std::string basin;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep") {
            keep = true;
        } else if (!arg.empty() && arg[0] != '-' && basin.empty()) {
            basin = arg;
        } else {
            std::fprintf(stderr, "Usage: %s [--runs N] [--keep] [BASIN.db]\n", argv[0]);
            return 2;
        }
    }
    char dirTemplate[] = "/tmp/tarnhelm-diff-bench-XXXXXX";
    const char* made = mkdtemp(dirTemplate);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = made;
    const std::string project = dir + "/basin.db";
    if (basin.empty()) {
        std::printf("Making and computing the large basin ...\n");
        mustRun({ "demo", "--large", project });
        mustRun({ "recalc", project, "--full" });
    } else {
        copyFile(basin, project);
        mustRun({ "recalc", project });
    }

    const std::string before = dir + "/before.xlsx";
    mustRun({ "export-xlsx", project, before });
    const RunResult again = mustRun({ "export-xlsx", project, dir + "/again.xlsx" });

    // One water user's depletion in one year, of a water user that one of the scenarios'
    // demand changes applies to; then the results, as the baseline dialog recomputes them.
    std::printf("Editing one water user and recomputing ...\n");
    {
        sqlite3* db = nullptr;
        if (sqlite3_open(project.c_str(), &db) != SQLITE_OK) {
            std::fprintf(stderr, "cannot open %s\n", project.c_str());
            return 1;
        }
        exec(db,
            "UPDATE WaterUserData SET DepletionReq = DepletionReq * 1.25 + 10 WHERE Year = 2050 "
            "AND WaterUserID = (SELECT MIN(WaterUserID) FROM DemandChgWaterUser)");
        sqlite3_close(db);
    }
    mustRun({ "recalc", project, "--full" });

    Measured exportNew;
    Measured compare;
    std::string changes;
    const std::string after = dir + "/after.xlsx";
    for (int run = 0; run < runs; ++run) {
        std::remove(after.c_str());
        exportNew.add(mustRun({ "export-xlsx", project, after }));
        const RunResult diff = mustRun({ "diff-workbook", before, after, "--json" }, 1);
        compare.add(diff);
        changes = diff.output;
    }
    Measured readAll;
    readAll.add(mustRun({ "diff-workbook", before, after, "--no-fingerprints" }, 1));
    Measured unchanged;
    unchanged.add(mustRun({ "diff-workbook", before, dir + "/again.xlsx" }));
    Measured intoPrevious;
    const std::string previous = dir + "/previous.xlsx";
    copyFile(before, previous);
    intoPrevious.add(mustRun({ "export-xlsx", project, previous }));

    const size_t sheets = count(changes, "\"status\": \"changed\", \"columns\"");
    const size_t columns = count(changes, "\"changedMonths\"");
    Measured exportFirst;
    exportFirst.add(again);
    std::printf(
        "\nLarge basin, %d run%s (medians); %zu of 4 sheets changed, %zu columns in all\n\n", runs,
        runs == 1 ? "" : "s", sheets, columns);
    line("export, unchanged basin:", exportFirst);
    line("export after the edit:", exportNew);
    line("compare before/after:", compare);
    line("compare before/after, every sheet read:", readAll);
    line("compare two unchanged exports:", unchanged);
    line("export into the previous book (compares):", intoPrevious);
    std::printf("\nratio compare / export:        %5.2f   (goal <= 1.5)\n",
        compare.wall() / exportNew.wall());
    std::printf(
        "ratio compare / export, cpu:   %5.2f\n", median(compare.cpu) / median(exportNew.cpu));
    std::printf(
        "peak memory of the comparison: %5.1f MB (goal < 500)\n", compare.maxRssKb / 1024.0);

    if (keep)
        std::printf("\nkept: %s\n", dir.c_str());
    else
        std::system(("rm -rf '" + dir + "'").c_str());
    return 0;
}
