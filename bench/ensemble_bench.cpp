// Demand ensembles on the benchmark basin (`tarnhelm-cli demo --large`), measured side by side in
// one run so that the ratios mean the same on any machine:
//   - one member against `recalc --scenario` of its template into the file (goal: at most 0.5);
//   - two members at once against one (throughput; goal: at least 1.7 on two cores);
//   - the peak memory of one member (goal: under 300 MB);
//   - `ensemble summarize` of 100 members against five members' runs (goal: at most 1).
//
//   ensemble_bench [WORKDIR]      (default /tmp/tarnhelm-bench)
//
// The basin is made and computed in WORKDIR/ensemble.db when it is missing and kept for the
// next run. The 100 members summarized are five members' outputs copied under the other
// numbers: a summary's work depends on the number of members and rows, not on their values.

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
#include <fstream>
#include <string>
#include <vector>

using bench::RunResult;

namespace {

const std::string Cli = TARNHELM_CLI_PATH;
constexpr int TemplateScenario = 1;
constexpr int Members = 100;

RunResult runCli(const std::vector<std::string>& args, bool capture = false)
{
    return bench::runChild(Cli, args, capture);
}

void check(const RunResult& run, const char* what)
{
    if (run.status != 0) {
        std::fprintf(stderr, "%s failed (exit status %d)\n", what, run.status);
        std::exit(1);
    }
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool copyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return bool(in) && bool(out);
}

// Several tarnhelm-cli runs started together; wall time until the last ended, and each one's
// peak memory.
struct Together {
    double seconds = 0.0;
    std::vector<long> maxRssKb;
    double cpu = 0.0; // of all of them
    bool ok = true;
};

Together runTogether(const std::vector<std::vector<std::string>>& runs)
{
    Together result;
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    std::fflush(stdout); // or the children's freopen would write our buffer once more
    for (const auto& args : runs) {
        const pid_t pid = fork();
        if (pid == 0) {
            std::freopen("/dev/null", "w", stdout);
            std::vector<char*> argv { const_cast<char*>(Cli.c_str()) };
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(Cli.c_str(), argv.data());
            _exit(127);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        struct rusage usage = {};
        wait4(pid, &status, 0, &usage);
        result.ok = result.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        result.maxRssKb.push_back(usage.ru_maxrss);
        result.cpu += bench::cpuSeconds(usage);
    }
    result.seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// The template's stored results deleted, so that its recalculation computes and writes them.
void dropScenarioResults(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    const std::string id = std::to_string(TemplateScenario);
    const std::string sql = "DELETE FROM ScenarioYearlyAggDiv WHERE ScenarioID = " + id
        + "; DELETE FROM ScenarioMonthlyAggDiv WHERE ScenarioID = " + id
        + "; DELETE FROM ScenarioYearlyWaterUser WHERE ScenarioID = " + id
        + "; DELETE FROM ScenarioMonthlyWaterUser WHERE ScenarioID = " + id + ";";
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "cannot drop the template's results: %s\n", error);
        std::exit(1);
    }
    sqlite3_close(db);
}

} // namespace

int main(int argc, char** argv)
{
    // Two members at once can only show two cores' throughput when no one else uses them.
    std::printf("load before: ");
    std::fflush(stdout);
    std::system("cat /proc/loadavg");
    const std::string dir = argc > 1 ? argv[1] : "/tmp/tarnhelm-bench";
    mkdir(dir.c_str(), 0755);
    const std::string basin = dir + "/ensemble.db";
    if (!exists(basin)) {
        std::printf("making the benchmark basin %s (once; kept for later runs)\n", basin.c_str());
        check(runCli({ "demo", "--large", basin }), "tarnhelm-cli demo --large");
        const RunResult computed = runCli({ "recalc", basin, "--full" });
        check(computed, "tarnhelm-cli recalc --full");
        std::printf("  recalc --full of the whole basin: %.1f s\n", computed.seconds);
    }

    const std::string spec = dir + "/ensemble-spec.json";
    std::ofstream(spec) << R"({"vary": [
        {"change": "Targets Warm", "kind": "depletion", "factor": {"min": 0.8, "max": 1.2}},
        {"change": "Irrigation Warm", "factor": {"min": 0.5, "max": 1.5}}]})";
    const RunResult plan
        = runCli({ "ensemble", "plan", basin, "--scenario", std::to_string(TemplateScenario),
                     "--vary", spec, "--members", std::to_string(Members), "--seed", "2024" },
            true);
    check(plan, "tarnhelm-cli ensemble plan");
    const std::string planFile = dir + "/ensemble-plan.json";
    std::ofstream(planFile) << plan.output;
    std::printf("plan of %d members: %.2f s\n", Members, plan.seconds);

    // The template recalculated into the file: its results computed and written.
    const std::string copy = dir + "/ensemble-recalc.db";
    if (!copyFile(basin, copy)) {
        std::fprintf(stderr, "cannot copy %s\n", basin.c_str());
        return 1;
    }
    dropScenarioResults(copy);
    const RunResult recalc
        = runCli({ "recalc", copy, "--scenario", std::to_string(TemplateScenario) });
    check(recalc, "tarnhelm-cli recalc --scenario");
    std::remove(copy.c_str());
    const RunResult upToDate
        = runCli({ "recalc", basin, "--scenario", std::to_string(TemplateScenario) });
    check(upToDate, "tarnhelm-cli recalc --scenario (up to date)");

    const std::string out = dir + "/ensemble-members";
    std::system(("rm -rf '" + out + "'").c_str());
    const auto runArgs = [&](int k) {
        return std::vector<std::string> { "ensemble", "run", basin, planFile, "--member",
            std::to_string(k), "--out", out };
    };
    const RunResult one = runCli(runArgs(0));
    check(one, "tarnhelm-cli ensemble run");
    const Together two = runTogether({ runArgs(1), runArgs(2) });
    if (!two.ok) {
        std::fprintf(stderr, "two members at once failed\n");
        return 1;
    }
    double fiveSeconds = 0.0;
    double fiveCpu = 0.0;
    long peakKb
        = std::max(one.maxRssKb, *std::max_element(two.maxRssKb.begin(), two.maxRssKb.end()));
    for (int k = 3; k < 8; ++k) {
        const RunResult run = runCli(runArgs(k));
        check(run, "tarnhelm-cli ensemble run");
        fiveSeconds += run.seconds;
        fiveCpu += run.cpu;
        peakKb = std::max(peakKb, run.maxRssKb);
    }

    // 100 members' outputs: the eight run, copied under the other numbers.
    for (int k = 8; k < Members; ++k) {
        const std::string from = out + "/member-" + std::to_string(k % 8) + ".csv";
        if (!copyFile(from, out + "/member-" + std::to_string(k) + ".csv")) {
            std::fprintf(stderr, "cannot copy %s\n", from.c_str());
            return 1;
        }
    }
    const RunResult summary
        = runCli({ "ensemble", "summarize", out, "--out", dir + "/ensemble-summary.xlsx" });
    check(summary, "tarnhelm-cli ensemble summarize");

    std::printf("\n%-36s %8s %8s %8s\n", "", "wall s", "cpu s", "peak MB");
    const auto row = [](const char* what, double wall, double cpu, long kb) {
        std::printf("%-36s %8.2f %8.2f %8ld\n", what, wall, cpu, kb / 1024);
    };
    row("recalc --scenario into the file", recalc.seconds, recalc.cpu, recalc.maxRssKb);
    row("recalc --scenario, up to date", upToDate.seconds, upToDate.cpu, upToDate.maxRssKb);
    row("one member", one.seconds, one.cpu, one.maxRssKb);
    row("two members at once", two.seconds, two.cpu,
        *std::max_element(two.maxRssKb.begin(), two.maxRssKb.end()));
    row("five members, one after another", fiveSeconds, fiveCpu, peakKb);
    row("summarize 100 members", summary.seconds, summary.cpu, summary.maxRssKb);
    std::printf("\n");
    const double member = one.seconds / recalc.seconds;
    const double throughput = 2.0 * one.seconds / two.seconds;
    const double summarize = summary.seconds / fiveSeconds;
    std::printf("member / recalc --scenario:        %5.2f  (goal <= 0.5)  %s\n", member,
        member <= 0.5 ? "met" : "MISSED");
    std::printf("two at once / one, throughput:     %5.2f  (goal >= 1.7)  %s\n", throughput,
        throughput >= 1.7 ? "met" : "MISSED");
    std::printf("peak memory of a member:           %5ld MB (goal < 300)  %s\n", peakKb / 1024,
        peakKb / 1024 < 300 ? "met" : "MISSED");
    std::printf("summarize 100 / five members:      %5.2f  (goal <= 1)    %s\n", summarize,
        summarize <= 1.0 ? "met" : "MISSED");
    // A machine busy with other work stretches the wall times unevenly: the processor times
    // tell the same story without it.
    std::printf("by processor time: member / recalc %.2f, summarize / five members %.2f, a "
                "member's time two at once / alone %.2f\n",
        one.cpu / recalc.cpu, summary.cpu / fiveCpu, two.cpu / 2.0 / one.cpu);
    std::printf("load: ");
    std::fflush(stdout);
    std::system("cat /proc/loadavg");
    return 0;
}
