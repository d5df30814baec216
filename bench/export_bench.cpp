// Times the .xlsx export of the large basin against libxlsxwriter writing the same cells in
// constant-memory mode, and reports the peak memory of each: the baseline sheet alone, and the
// whole basin (the baseline and every scenario, a sheet each, as `export-xlsx` writes by
// default).
//
// Both writers run as child processes, so that each one's peak memory (ru_maxrss from wait4) is
// its own: `tarnhelm-cli export-xlsx FILE BOOK --baseline`, and this program re-executed with
// --xlsxwriter. The libxlsxwriter child reads the very series the export writes from the
// project database, in the export's order and with the export's headers (one column per site
// with results, two per baseline water user, NaN for a missing value written as the text "NaN"),
// holds them in memory, and only then starts its clock: its time is the writing alone, while
// ours is the whole command (start-up, reading the database and writing the book).
//
// Usage: export_bench [--runs N] [--keep] [BASIN.db]
//   BASIN.db  a large basin to use as it is (it is recalculated first, which is quick when its
//             results are up to date); without it one is made with `tarnhelm-cli demo --large`
//             in a temporary folder and computed, which takes a minute or two.
//   --runs N  measure both writers N times, side by side (default 1); medians are printed.
//   --keep    keep the temporary folder and the workbooks.

#include "ChildRun.h"

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace {

using bench::cpuSeconds;
using bench::runChild;
using bench::RunResult;

const char* const Cli = TARNHELM_CLI_PATH;

double ownCpuSeconds()
{
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

RunResult runCli(const std::vector<std::string>& args, bool verbose = true)
{
    return runChild(Cli, args, false, verbose);
}

sqlite3* openDb(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    return db;
}

sqlite3_stmt* prepare(sqlite3* db, const char* sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql, sqlite3_errmsg(db));
        std::exit(1);
    }
    return stmt;
}

std::string text(sqlite3_stmt* stmt, int column)
{
    const auto* p = sqlite3_column_text(stmt, column);
    return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
}

void yearRange(const std::string& path, int& first, int& last)
{
    sqlite3* db = openDb(path);
    sqlite3_stmt* stmt
        = prepare(db, "SELECT StartYear, EndYear FROM Baseline WHERE BaselineID = 1");
    if (sqlite3_step(stmt) != SQLITE_ROW) {
        std::fprintf(stderr, "%s has no baseline\n", path.c_str());
        std::exit(1);
    }
    first = sqlite3_column_int(stmt, 0);
    last = sqlite3_column_int(stmt, 1);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

const char* salinitySlot(int method)
{
    switch (method) {
    case 1:
        return "Return Flow Salinity Pickup Mass";
    case 2:
        return "Return Flow Salinity Pickup Conc";
    case 3:
        return "Diversion Salt Concentration";
    case 4:
        return "Salt Mass Removal";
    default:
        return "";
    }
}

struct Sheet {
    std::vector<std::string> headers;
    std::vector<std::vector<double>> columns;
};

// The series of the baseline (scenario 0) or of a scenario for the years first..last, in the
// order and with the headers the export gives them.
Sheet loadSheet(const std::string& path, int first, int last, long long scenario)
{
    const int months = 12 * (last - first + 1);
    const std::string begin = std::to_string(first) + "-01-01";
    const std::string end = std::to_string(last) + "-12-01";
    sqlite3* db = openDb(path);

    int outputType = 0;
    sqlite3_stmt* stmt = prepare(db, "SELECT OutputTypeID FROM Baseline");
    if (sqlite3_step(stmt) == SQLITE_ROW)
        outputType = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    const std::string diversionSlot
        = outputType == 1 ? "Diversion Requested" : "Diversion Schedule";
    const std::string depletionSlot
        = outputType == 1 ? "Depletion Requested" : "Depletion Schedule";

    struct User {
        long long id;
        std::string name;
    };
    struct Site {
        long long id;
        int method;
        std::string name;
        std::vector<User> users;
    };
    std::vector<Site> sites;
    stmt = prepare(db, "SELECT AggDivID, SalinityMethodID, RiffleName FROM AggDiv");
    while (sqlite3_step(stmt) == SQLITE_ROW)
        sites.push_back(
            { sqlite3_column_int64(stmt, 0), sqlite3_column_int(stmt, 1), text(stmt, 2), {} });
    sqlite3_finalize(stmt);
    stmt = prepare(db,
        "SELECT WaterUserID, AggDivID, RiffleName FROM WaterUser WHERE ScenarioID "
        "IS NULL");
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const long long site = sqlite3_column_int64(stmt, 1);
        for (Site& s : sites)
            if (s.id == site) {
                s.users.push_back({ sqlite3_column_int64(stmt, 0), text(stmt, 2) });
                break;
            }
    }
    sqlite3_finalize(stmt);

    const std::string where
        = scenario == 0 ? std::string() : " AND ScenarioID = " + std::to_string(scenario);
    const std::string prefix = scenario == 0 ? "Base" : "Scenario";
    sqlite3_stmt* salinity = prepare(db,
        ("SELECT AggDivSalinityValue FROM " + prefix
            + "MonthlyAggDiv WHERE AggDivID = ? AND Month BETWEEN ? AND ?" + where
            + " ORDER BY Month")
            .c_str());
    sqlite3_stmt* user = prepare(db,
        ("SELECT DiversionValue, DepletionValue FROM " + prefix
            + "MonthlyWaterUser WHERE WaterUserID = ? AND Month BETWEEN ? AND ?" + where
            + " ORDER BY Month")
            .c_str());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto value = [](sqlite3_stmt* s, int column) {
        return sqlite3_column_type(s, column) == SQLITE_NULL
            ? std::numeric_limits<double>::quiet_NaN()
            : sqlite3_column_double(s, column);
    };
    Sheet sheet;
    for (const Site& site : sites) {
        std::vector<double> values(static_cast<size_t>(months), nan);
        sqlite3_bind_int64(salinity, 1, site.id);
        sqlite3_bind_text(salinity, 2, begin.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(salinity, 3, end.c_str(), -1, SQLITE_TRANSIENT);
        int n = 0;
        while (sqlite3_step(salinity) == SQLITE_ROW && n < months)
            values[static_cast<size_t>(n++)] = value(salinity, 0);
        sqlite3_reset(salinity);
        if (n == 0)
            continue;
        sheet.headers.push_back(site.name + "." + salinitySlot(site.method));
        sheet.columns.push_back(std::move(values));
        for (const User& u : site.users) {
            std::vector<double> diversion(static_cast<size_t>(months), nan);
            std::vector<double> depletion(static_cast<size_t>(months), nan);
            sqlite3_bind_int64(user, 1, u.id);
            sqlite3_bind_text(user, 2, begin.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(user, 3, end.c_str(), -1, SQLITE_TRANSIENT);
            n = 0;
            while (sqlite3_step(user) == SQLITE_ROW && n < months) {
                diversion[static_cast<size_t>(n)] = value(user, 0);
                depletion[static_cast<size_t>(n++)] = value(user, 1);
            }
            sqlite3_reset(user);
            if (n == 0)
                continue;
            const std::string prefix = site.name + ":" + u.name + ".";
            sheet.headers.push_back(prefix + diversionSlot);
            sheet.columns.push_back(std::move(diversion));
            sheet.headers.push_back(prefix + depletionSlot);
            sheet.columns.push_back(std::move(depletion));
        }
    }
    sqlite3_finalize(salinity);
    sqlite3_finalize(user);
    sqlite3_close(db);
    return sheet;
}

// Excel's serial day number of the first of a month (1900 date system, dates from March 1900).
double serialOf(int year, int month)
{
    // Days from 1899-12-30, by the civil-from-days inverse (Howard Hinnant's days_from_civil).
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int mp = (month + 9) % 12;
    const int doy = (153 * mp + 2) / 5; // day 1 of the month
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = static_cast<long>(era) * 146097 + doe - 719468; // since 1970-01-01
    return static_cast<double>(days + 25569);
}

long rssKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const size_t len = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, len, field) == 0)
            return std::stol(line.substr(len + 1));
    return -1;
}

// The scenarios in the order the export writes them (by name), with their names.
std::vector<std::pair<long long, std::string>> scenarioList(const std::string& path)
{
    sqlite3* db = openDb(path);
    sqlite3_stmt* stmt
        = prepare(db, "SELECT ScenarioID, ScenarioName FROM Scenario ORDER BY ScenarioName");
    std::vector<std::pair<long long, std::string>> list;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        list.emplace_back(sqlite3_column_int64(stmt, 0), text(stmt, 1));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return list;
}

// The child: loads the sheets, then writes them with libxlsxwriter in constant-memory mode.
// Prints "load-seconds write-seconds columns rows rss-kb-before-writing write-cpu-seconds"
// (columns of the first sheet).
int xlsxwriterChild(
    const std::string& db, const std::string& out, int first, int last, bool allSheets)
{
    const auto loadStart = std::chrono::steady_clock::now();
    std::vector<std::pair<std::string, Sheet>> sheets;
    sheets.emplace_back("Baseline Monthly Data", loadSheet(db, first, last, 0));
    if (allSheets)
        for (const auto& [id, name] : scenarioList(db))
            sheets.emplace_back(name, loadSheet(db, first, last, id));
    const double loadSeconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - loadStart).count();
    const long rssBefore = rssKb("VmRSS:");
    const int rows = 12 * (last - first + 1);

    const double cpuBefore = ownCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(out.c_str(), &options);
    if (!book) {
        std::fprintf(stderr, "libxlsxwriter can't create %s\n", out.c_str());
        return 1;
    }
    lxw_format* header = workbook_add_format(book);
    format_set_num_format_index(header, 49); // "@"
    format_set_align(header, LXW_ALIGN_CENTER);
    lxw_format* date = workbook_add_format(book);
    format_set_num_format(date, "m/yyyy");
    for (const auto& [name, sheet] : sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(book, name.c_str());
        const auto columns = static_cast<lxw_col_t>(sheet.columns.size());
        for (lxw_col_t c = 0; c < columns; ++c)
            worksheet_write_string(ws, 0, c + 1, sheet.headers[c].c_str(), header);
        for (int r = 0; r < rows; ++r) {
            const auto row = static_cast<lxw_row_t>(r + 1);
            worksheet_write_number(ws, row, 0, serialOf(first + r / 12, 1 + r % 12), date);
            for (lxw_col_t c = 0; c < columns; ++c) {
                const double v = sheet.columns[c][static_cast<size_t>(r)];
                if (std::isfinite(v))
                    worksheet_write_number(ws, row, c + 1, v, nullptr);
                else
                    worksheet_write_string(ws, row, c + 1, "NaN", nullptr);
            }
        }
    }
    const lxw_error error = workbook_close(book);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ownCpuSeconds() - cpuBefore;
    if (error != LXW_NO_ERROR) {
        std::fprintf(stderr, "libxlsxwriter: %s\n", lxw_strerror(error));
        return 1;
    }
    std::printf("%.6f %.6f %u %d %ld %.6f\n", loadSeconds, seconds,
        static_cast<unsigned>(sheets.front().second.columns.size()), rows, rssBefore, cpu);
    return 0;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

long medianL(std::vector<long> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double fileMb(const std::string& path)
{
    struct stat info = {};
    return stat(path.c_str(), &info) == 0 ? info.st_size / 1e6 : 0.0;
}

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        std::fprintf(stderr, "cannot find this program's path\n");
        std::exit(1);
    }
    return std::string(buf, static_cast<size_t>(n));
}

} // namespace

int main(int argc, char** argv)
{
    if ((argc == 6 || argc == 7) && std::strcmp(argv[1], "--xlsxwriter") == 0)
        return xlsxwriterChild(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]),
            argc == 7 && std::strcmp(argv[6], "all") == 0);

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

    char dirTemplate[] = "/tmp/tarnhelm-export-bench-XXXXXX";
    const char* made = mkdtemp(dirTemplate);
    if (!made) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = made;
    if (basin.empty()) {
        basin = dir + "/basin.db";
        std::printf("Making the large basin in %s ...\n", dir.c_str());
        std::fflush(stdout);
        if (runCli({ "demo", "--large", basin }, false).status != 0) {
            std::fprintf(stderr, "tarnhelm-cli demo --large failed\n");
            return 1;
        }
    }
    std::printf("Recalculating %s ...\n", basin.c_str());
    std::fflush(stdout);
    const RunResult recalc = runCli({ "recalc", basin }, false);
    if (recalc.status != 0) {
        std::fprintf(stderr, "tarnhelm-cli recalc failed with status %d\n", recalc.status);
        return 1;
    }
    std::printf("  %.1f s\n", recalc.seconds);

    int first = 0;
    int last = 0;
    yearRange(basin, first, last);
    const int halfLast = first + (last - first + 1) / 2 - 1;
    const std::string ours = dir + "/ours.xlsx";
    const std::string oursHalf = dir + "/ours-half.xlsx";
    const std::string theirs = dir + "/libxlsxwriter.xlsx";
    const std::string self = selfPath();

    const std::string oursAll = dir + "/ours-all.xlsx";
    const std::string theirsAll = dir + "/libxlsxwriter-all.xlsx";
    std::vector<double> oursSec, oursHalfSec, lxwSec, lxwLoadSec, oursCpu, lxwCpu, ratios;
    std::vector<long> oursRss, oursHalfRss, lxwRss, lxwBeforeRss;
    std::vector<double> oursAllSec, lxwAllSec, oursAllCpu, lxwAllCpu, allRatios;
    std::vector<long> oursAllRss, lxwAllRss;
    long columns = 0;
    long rows = 0;
    for (int run = 1; run <= runs; ++run) {
        std::remove(ours.c_str());
        std::remove(oursHalf.c_str());
        std::remove(theirs.c_str());
        std::remove(oursAll.c_str());
        std::remove(theirsAll.c_str());
        const RunResult full = runCli({ "export-xlsx", basin, ours, "--baseline" });
        const RunResult half = runCli({ "export-xlsx", basin, oursHalf, "--baseline", "--start",
            std::to_string(first), "--end", std::to_string(halfLast) });
        const RunResult lxw = runChild(self,
            { "--xlsxwriter", basin, theirs, std::to_string(first), std::to_string(last) }, true,
            true);
        if (full.status != 0 || half.status != 0 || lxw.status != 0) {
            std::fprintf(stderr, "a writer failed (ours %d, ours half %d, libxlsxwriter %d)\n",
                full.status, half.status, lxw.status);
            return 1;
        }
        double load = 0, write = 0, writeCpu = 0;
        long before = 0;
        if (std::sscanf(lxw.output.c_str(), "%lf %lf %ld %ld %ld %lf", &load, &write, &columns,
                &rows, &before, &writeCpu)
            != 6) {
            std::fprintf(
                stderr, "unexpected output from the libxlsxwriter child: %s\n", lxw.output.c_str());
            return 1;
        }
        oursSec.push_back(full.seconds);
        oursRss.push_back(full.maxRssKb);
        oursHalfSec.push_back(half.seconds);
        oursHalfRss.push_back(half.maxRssKb);
        lxwSec.push_back(write);
        lxwLoadSec.push_back(load);
        lxwRss.push_back(lxw.maxRssKb);
        lxwBeforeRss.push_back(before);
        oursCpu.push_back(full.cpu);
        lxwCpu.push_back(writeCpu);
        ratios.push_back(full.seconds / write);
        std::printf("run %d: ours %.2f s (%.2f s processor, %.1f MB), ours half %.2f s, "
                    "libxlsxwriter %.2f s (%.2f s processor, %.1f MB; +%.2f s loading), "
                    "ratio %.2f\n",
            run, full.seconds, full.cpu, full.maxRssKb / 1024.0, half.seconds, write, writeCpu,
            lxw.maxRssKb / 1024.0, load, full.seconds / write);
        std::fflush(stdout);

        // The whole basin: the baseline and every scenario.
        const RunResult all = runCli({ "export-xlsx", basin, oursAll });
        const RunResult lxwAll = runChild(self,
            { "--xlsxwriter", basin, theirsAll, std::to_string(first), std::to_string(last),
                "all" },
            true, true);
        double allLoad = 0, allWrite = 0, allWriteCpu = 0;
        long allColumns = 0, allRows = 0, allBefore = 0;
        if (all.status != 0 || lxwAll.status != 0
            || std::sscanf(lxwAll.output.c_str(), "%lf %lf %ld %ld %ld %lf", &allLoad, &allWrite,
                   &allColumns, &allRows, &allBefore, &allWriteCpu)
                != 6) {
            std::fprintf(stderr, "a writer failed on the whole basin (ours %d, libxlsxwriter %d)\n",
                all.status, lxwAll.status);
            return 1;
        }
        oursAllSec.push_back(all.seconds);
        oursAllCpu.push_back(all.cpu);
        oursAllRss.push_back(all.maxRssKb);
        lxwAllSec.push_back(allWrite);
        lxwAllCpu.push_back(allWriteCpu);
        lxwAllRss.push_back(lxwAll.maxRssKb);
        allRatios.push_back(all.seconds / allWrite);
        std::printf("run %d, whole basin: ours %.2f s (%.2f s processor, %.1f MB), libxlsxwriter "
                    "%.2f s (%.2f s processor, %.1f MB; +%.2f s loading), ratio %.2f\n",
            run, all.seconds, all.cpu, all.maxRssKb / 1024.0, allWrite, allWriteCpu,
            lxwAll.maxRssKb / 1024.0, allLoad, all.seconds / allWrite);
        std::fflush(stdout);
    }

    const double cells = static_cast<double>(columns + 1) * static_cast<double>(rows + 1);
    const long halfRows = 12 * (halfLast - first + 1);
    const double halfCells = static_cast<double>(columns + 1) * static_cast<double>(halfRows + 1);
    const double t = median(oursSec);
    const double th = median(oursHalfSec);
    const double tl = median(lxwSec);
    std::printf("\nbaseline sheet:             %ld data columns x %ld months, %.0f cells "
                "(headers and dates included)\n",
        columns, rows, cells);
    std::printf("runs:                       %d (medians below)\n", runs);
    std::printf("ours (whole command):       %.2f s, %.1f MB file\n", t, fileMb(ours));
    std::printf("libxlsxwriter (writing):    %.2f s, %.1f MB file (reading the values from the "
                "database before that: %.2f s)\n",
        tl, fileMb(theirs), median(lxwLoadSec));
    std::printf("ratio ours/libxlsxwriter:   %.2f; median of the runs' ratios %.2f\n", t / tl,
        median(ratios));
    std::printf("processor time:             ours %.2f s, libxlsxwriter %.2f s (writing), ratio "
                "%.2f\n",
        median(oursCpu), median(lxwCpu), median(oursCpu) / median(lxwCpu));
    std::printf("peak memory, ours:          %.1f MB\n", medianL(oursRss) / 1024.0);
    std::printf("peak memory, libxlsxwriter: %.1f MB (%.1f MB of it holding the values before it "
                "starts)\n",
        medianL(lxwRss) / 1024.0, medianL(lxwBeforeRss) / 1024.0);
    std::printf("ours, years %d-%d:       %.2f s for %.0f cells, peak memory %.1f MB\n", first,
        halfLast, th, halfCells, medianL(oursHalfRss) / 1024.0);
    // Linear in the number of cells: time = fixed + cells * marginal, the fixed part being
    // mostly the opening of the project.
    const double marginal = (t - th) / (cells - halfCells);
    std::printf("time per million cells:     %.3f s (all years), %.3f s (half the years); "
                "marginal %.3f s, fixed part %.2f s\n",
        t / cells * 1e6, th / halfCells * 1e6, marginal * 1e6, t - marginal * cells);

    // Side by side: the goals are for the whole basin.
    std::printf("\n%-28s %10s %16s %8s %8s %12s %18s\n", "", "ours s", "libxlsxwriter s", "ratio",
        "goal", "ours peak MB", "libxlsxwriter MB");
    std::printf("%-28s %10.2f %16.2f %8.2f %8s %12.1f %18.1f\n", "baseline sheet", t, tl, t / tl,
        "", medianL(oursRss) / 1024.0, medianL(lxwRss) / 1024.0);
    const double ta = median(oursAllSec);
    const double tla = median(lxwAllSec);
    std::printf("%-28s %10.2f %16.2f %8.2f %8s %12.1f %18.1f\n", "whole basin (every sheet)", ta,
        tla, ta / tla, "<= 0.3", medianL(oursAllRss) / 1024.0, medianL(lxwAllRss) / 1024.0);
    std::printf("whole basin: %.1f MB file (libxlsxwriter %.1f MB); processor time ours %.2f s, "
                "libxlsxwriter %.2f s; peak memory goal < 500 MB; median of the runs' ratios "
                "%.2f\n",
        fileMb(oursAll), fileMb(theirsAll), median(oursAllCpu), median(lxwAllCpu),
        median(allRatios));

    if (!keep) {
        std::remove(oursAll.c_str());
        std::remove(theirsAll.c_str());
        std::remove(ours.c_str());
        std::remove(oursHalf.c_str());
        std::remove(theirs.c_str());
        if (basin == dir + "/basin.db")
            std::remove(basin.c_str());
        rmdir(dir.c_str());
    } else {
        std::printf("kept: %s\n", dir.c_str());
    }
    return 0;
}
