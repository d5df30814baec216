// Times `tarnhelm-cli recalc` on the large basin against the floor of the same inserts made
// directly with SQLite's C API, and reports peak memory, the up-to-date run and a run in which
// half of the water users need new results.
//
// The full recalculation is timed three times: on the freshly made basin (every row is new),
// on the same basin again (every row is already stored: nothing should be written, and the
// file's change counter shows whether anything was), and after one water user's yearly inputs
// were edited (only its rows and its site's change).
//
// Usage: recalc_bench [WORKDIR]   (default: a folder under /tmp)
//        recalc_bench --stress [WORKDIR]
//
// --stress: the fresh recalculation of the benchmark basin and of the stress basin
// (`tarnhelm-cli demo --stress`: ten times its results, about 15 GB once computed), side by
// side per stored row, with the peak memory of each. Needs about 20 GB free in WORKDIR.

#include "ChildRun.h"

#include <sqlite3.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const Cli = TARNHELM_CLI_PATH;

using bench::RunResult;

RunResult runCli(const std::vector<std::string>& args, bool quiet = true)
{
    return bench::runChild(Cli, args, false, !quiet);
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

void exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), error);
        std::exit(1);
    }
}

sqlite3* openDb(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    exec(db, "PRAGMA foreign_keys = ON");
    return db;
}

long long scalar(sqlite3* db, const std::string& sql)
{
    sqlite3_stmt* stmt = nullptr;
    check(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), db, sql.c_str());
    long long value = 0;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

void copyFile(const std::string& from, const std::string& to)
{
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
}

// A basin of the benchmark's size, for when the project's own generator is not available:
// 500 sites, 2,500 water users over 120 years, three scenarios whose changes select a fifth of
// the water users, and one scenario-only water user per scenario.
void makeFixture(const std::string& path)
{
    std::remove(path.c_str());
    if (runCli({ "new", path, "--start", "1901", "--end", "2020" }).status != 0) {
        std::fprintf(stderr, "tarnhelm-cli new failed\n");
        std::exit(1);
    }
    sqlite3* db = openDb(path);
    exec(db, "BEGIN");
    unsigned long long seed = 12345;
    auto random = [&seed]() {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>((seed >> 11) & 0xFFFFF) / 0xFFFFF;
    };
    sqlite3_stmt* site = nullptr;
    sqlite3_stmt* user = nullptr;
    sqlite3_stmt* data = nullptr;
    sqlite3_stmt* dist = nullptr;
    sqlite3_prepare_v2(db,
        "INSERT INTO AggDiv (SalinityMethodID, SiteName, RiffleName, Ord) "
        "VALUES (?, ?, ?, ?)",
        -1, &site, nullptr);
    sqlite3_prepare_v2(db,
        "INSERT INTO WaterUser (AggDivID, ScenarioID, WaterUserName, "
        "RiffleName, Ord) VALUES (?, ?, ?, ?, ?)",
        -1, &user, nullptr);
    sqlite3_prepare_v2(db,
        "INSERT INTO WaterUserData (WaterUserID, Year, DiversionReq, "
        "DepletionReq, EfficiencyRatio, SalinityPickup) VALUES (?, ?, ?, ?, ?, ?)",
        -1, &data, nullptr);
    sqlite3_prepare_v2(db,
        "INSERT INTO WaterUserDist (WaterUserID, Jan, Feb, Mar, Apr, May, Jun, "
        "Jul, Aug, Sep, Oct, Nov, Dec) VALUES (?, 5, 5, 6, 8, 10, 12, 14, 12, "
        "10, 8, 6, 4)",
        -1, &dist, nullptr);
    auto addUser = [&](int siteId, int scenarioId, int ord) {
        sqlite3_bind_int(user, 1, siteId);
        if (scenarioId > 0)
            sqlite3_bind_int(user, 2, scenarioId);
        else
            sqlite3_bind_null(user, 2);
        const std::string name = "User " + std::to_string(siteId) + "-" + std::to_string(ord);
        sqlite3_bind_text(user, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(user, 4, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(user, 5, ord);
        check(sqlite3_step(user), db, "water user");
        sqlite3_reset(user);
        const long long id = sqlite3_last_insert_rowid(db);
        for (int year = 1901; year <= 2020; ++year) {
            sqlite3_bind_int64(data, 1, id);
            sqlite3_bind_int(data, 2, year);
            const bool gap = (year % 7) == 3;
            if (gap || (id % 3) == 0)
                sqlite3_bind_null(data, 3);
            else
                sqlite3_bind_double(data, 3, 1000 + 500 * random());
            if (gap)
                sqlite3_bind_null(data, 4);
            else
                sqlite3_bind_double(data, 4, 300 + 200 * random());
            if ((id % 3) == 1)
                sqlite3_bind_null(data, 5);
            else
                sqlite3_bind_double(data, 5, 0.3 + 0.4 * random());
            sqlite3_bind_double(data, 6, 50 * random());
            check(sqlite3_step(data), db, "water user data");
            sqlite3_reset(data);
        }
        sqlite3_bind_int64(dist, 1, id);
        check(sqlite3_step(dist), db, "distribution");
        sqlite3_reset(dist);
        return id;
    };
    exec(db,
        "INSERT INTO Scenario (ScenarioID, ScenarioName, ScenarioShortName) VALUES "
        "(1, 'Dry', 'Dry'), (2, 'Wet', 'Wet'), (3, 'Growth', 'Growth')");
    std::vector<long long> users;
    for (int s = 1; s <= 500; ++s) {
        const std::string name = "Site " + std::to_string(s);
        sqlite3_bind_int(site, 1, 1 + s % 4);
        sqlite3_bind_text(site, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(site, 3, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(site, 4, s);
        check(sqlite3_step(site), db, "site");
        sqlite3_reset(site);
        const int siteId = static_cast<int>(sqlite3_last_insert_rowid(db));
        for (int u = 1; u <= 5; ++u)
            users.push_back(addUser(siteId, 0, u));
    }
    for (int scenario = 1; scenario <= 3; ++scenario)
        addUser(scenario * 100, scenario, 6);
    for (int scenario = 1; scenario <= 3; ++scenario) {
        const int method = scenario == 2 ? 2 : 1;
        exec(db,
            "INSERT INTO DemandChg (DemandChgID, ScenarioID, DemandChgName, CreatedDate, "
            "DepletionCalcMethodID, EfficiencyCalcMethodID) VALUES ("
                + std::to_string(scenario) + ", " + std::to_string(scenario)
                + ", 'Change', '2024-01-0" + std::to_string(scenario) + "', "
                + std::to_string(method) + ", 1)");
        for (size_t i = scenario; i < users.size(); i += 5) {
            exec(db,
                "INSERT INTO DemandChgWaterUser (DemandChgID, WaterUserID) VALUES ("
                    + std::to_string(scenario) + ", " + std::to_string(users[i]) + ")");
        }
        for (int year = 1901; year <= 2020; year += (method == 2 ? 10 : 1)) {
            const int type = 1 + year % 3;
            const double value = type == 1 ? 10.0 : (type == 2 ? 500.0 : 20000.0);
            exec(db,
                "INSERT INTO DepletionChg (DemandChgID, Year, ChangeTypeID, ChangeValue) "
                "VALUES ("
                    + std::to_string(scenario) + ", " + std::to_string(year) + ", "
                    + std::to_string(type) + ", " + std::to_string(value) + ")");
            exec(db,
                "INSERT INTO EfficiencyChg (DemandChgID, Year, ChangeTypeID, ChangeValue) "
                "VALUES ("
                    + std::to_string(scenario) + ", " + std::to_string(year) + ", 2, 0.05)");
        }
    }
    sqlite3_finalize(site);
    sqlite3_finalize(user);
    sqlite3_finalize(data);
    sqlite3_finalize(dist);
    exec(db, "COMMIT");
    sqlite3_close(db);
}

struct Owner {
    long long id;
    long long siteId;
    long long scenarioId; // 0: baseline
};

// The floor: the calculation's rows, written in the calculation's order through one prepared
// statement per table, rebound per row, in one transaction per run, without any computation.
double insertFloor(const std::string& path, long long& rows)
{
    sqlite3* db = openDb(path);
    int first = static_cast<int>(scalar(db, "SELECT StartYear FROM Baseline"));
    int last = static_cast<int>(scalar(db, "SELECT EndYear FROM Baseline"));
    std::vector<long long> sites;
    std::vector<long long> scenarios;
    std::vector<Owner> users;
    {
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT AggDivID FROM AggDiv ORDER BY AggDivID", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            sites.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(
            db, "SELECT ScenarioID FROM Scenario ORDER BY ScenarioID", -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            scenarios.push_back(sqlite3_column_int64(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_prepare_v2(db,
            "SELECT WaterUserID, AggDivID, IFNULL(ScenarioID, 0) FROM "
            "WaterUser ORDER BY AggDivID, WaterUserID",
            -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            users.push_back({ sqlite3_column_int64(stmt, 0), sqlite3_column_int64(stmt, 1),
                sqlite3_column_int64(stmt, 2) });
        sqlite3_finalize(stmt);
    }
    std::vector<std::string> months;
    for (int year = first; year <= last; ++year) {
        for (int month = 1; month <= 12; ++month) {
            char key[16];
            std::snprintf(key, sizeof key, "%d-%02d-01", year, month);
            months.emplace_back(key);
        }
    }
    std::multimap<long long, Owner> usersBySite;
    for (const Owner& owner : users)
        usersBySite.emplace(owner.siteId, owner);

    rows = 0;
    const auto start = std::chrono::steady_clock::now();
    auto runOnce = [&](long long scenario) {
        const bool base = scenario == 0;
        const std::string prefix = base ? "Base" : "Scenario";
        const std::string scenCol = base ? "" : "ScenarioID, ";
        const std::string scenVal = base ? "" : "?, ";
        sqlite3_stmt* yAgg = nullptr;
        sqlite3_stmt* mAgg = nullptr;
        sqlite3_stmt* yWu = nullptr;
        sqlite3_stmt* mWu = nullptr;
        sqlite3_prepare_v2(db,
            ("INSERT INTO " + prefix + "YearlyAggDiv (BaselineID, " + scenCol
                + "AggDivID, Year, AggDivSalinityValue) VALUES (?, " + scenVal + "?, ?, ?)")
                .c_str(),
            -1, &yAgg, nullptr);
        sqlite3_prepare_v2(db,
            ("INSERT INTO " + prefix + "MonthlyAggDiv (BaselineID, " + scenCol
                + "AggDivID, Month, AggDivSalinityValue) VALUES (?, " + scenVal + "?, ?, ?)")
                .c_str(),
            -1, &mAgg, nullptr);
        sqlite3_prepare_v2(db,
            ("INSERT INTO " + prefix + "YearlyWaterUser (BaselineID, " + scenCol
                + "WaterUserID, Year, DiversionValue, DepletionValue, "
                  "EfficiencyRatioValue, SalinityPickupValue) VALUES (?, "
                + scenVal + "?, ?, ?, ?, ?, ?)")
                .c_str(),
            -1, &yWu, nullptr);
        sqlite3_prepare_v2(db,
            ("INSERT INTO " + prefix + "MonthlyWaterUser (BaselineID, " + scenCol
                + "WaterUserID, Month, DiversionValue, DepletionValue) "
                  "VALUES (?, "
                + scenVal + "?, ?, ?, ?)")
                .c_str(),
            -1, &mWu, nullptr);
        const int off = base ? 0 : 1;
        exec(db, "BEGIN");
        for (const long long siteId : sites) {
            for (int year = first; year <= last; ++year) {
                sqlite3_bind_int(yAgg, 1, 1);
                if (!base)
                    sqlite3_bind_int64(yAgg, 2, scenario);
                sqlite3_bind_int64(yAgg, 2 + off, siteId);
                sqlite3_bind_int(yAgg, 3 + off, year);
                sqlite3_bind_double(yAgg, 4 + off, 12.5 * year);
                check(sqlite3_step(yAgg), db, "floor yearly site");
                sqlite3_reset(yAgg);
                ++rows;
                for (int month = 0; month < 12; ++month) {
                    sqlite3_bind_int(mAgg, 1, 1);
                    if (!base)
                        sqlite3_bind_int64(mAgg, 2, scenario);
                    sqlite3_bind_int64(mAgg, 2 + off, siteId);
                    const std::string& key = months[(year - first) * 12 + month];
                    sqlite3_bind_text(mAgg, 3 + off, key.c_str(), -1, SQLITE_STATIC);
                    sqlite3_bind_double(mAgg, 4 + off, 1.5 * month);
                    check(sqlite3_step(mAgg), db, "floor monthly site");
                    sqlite3_reset(mAgg);
                    ++rows;
                }
            }
            const auto range = usersBySite.equal_range(siteId);
            for (auto it = range.first; it != range.second; ++it) {
                const Owner& owner = it->second;
                if (owner.scenarioId != 0 && owner.scenarioId != scenario)
                    continue;
                for (int year = first; year <= last; ++year) {
                    sqlite3_bind_int(yWu, 1, 1);
                    if (!base)
                        sqlite3_bind_int64(yWu, 2, scenario);
                    sqlite3_bind_int64(yWu, 2 + off, owner.id);
                    sqlite3_bind_int(yWu, 3 + off, year);
                    for (int k = 0; k < 4; ++k)
                        sqlite3_bind_double(yWu, 4 + off + k, 100.25 * (k + 1));
                    check(sqlite3_step(yWu), db, "floor yearly water user");
                    sqlite3_reset(yWu);
                    ++rows;
                    for (int month = 0; month < 12; ++month) {
                        sqlite3_bind_int(mWu, 1, 1);
                        if (!base)
                            sqlite3_bind_int64(mWu, 2, scenario);
                        sqlite3_bind_int64(mWu, 2 + off, owner.id);
                        const std::string& key = months[(year - first) * 12 + month];
                        sqlite3_bind_text(mWu, 3 + off, key.c_str(), -1, SQLITE_STATIC);
                        sqlite3_bind_double(mWu, 4 + off, 8.25 * month);
                        sqlite3_bind_double(mWu, 5 + off, 3.75 * month);
                        check(sqlite3_step(mWu), db, "floor monthly water user");
                        sqlite3_reset(mWu);
                        ++rows;
                    }
                }
            }
        }
        exec(db, "COMMIT");
        sqlite3_finalize(yAgg);
        sqlite3_finalize(mAgg);
        sqlite3_finalize(yWu);
        sqlite3_finalize(mWu);
    };
    runOnce(0);
    for (const long long scenario : scenarios)
        runOnce(scenario);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sqlite3_close(db);
    return seconds;
}

// The file change counter of an SQLite database (header bytes 24-27): it moves with every
// transaction that wrote to the file.
unsigned long changeCounter(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char header[28] = {};
    in.read(reinterpret_cast<char*>(header), sizeof header);
    return (static_cast<unsigned long>(header[24]) << 24)
        | (static_cast<unsigned long>(header[25]) << 16)
        | (static_cast<unsigned long>(header[26]) << 8) | header[27];
}

// Raises one baseline water user's yearly depletion and diversion requests by a tenth; returns
// its id.
long long editOneWaterUser(const std::string& path)
{
    sqlite3* db = openDb(path);
    const long long id = scalar(db,
        "SELECT WaterUserID FROM WaterUser WHERE ScenarioID IS NULL ORDER BY AggDivID, "
        "WaterUserID LIMIT 1 OFFSET 7");
    exec(db,
        "UPDATE WaterUserData SET DepletionReq = DepletionReq * 1.1, DiversionReq = DiversionReq * "
        "1.1 WHERE WaterUserID = "
            + std::to_string(id));
    sqlite3_close(db);
    return id;
}

long long resultRows(const std::string& path)
{
    sqlite3* db = openDb(path);
    long long total = 0;
    for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "BaseYearlyWaterUser",
             "BaseMonthlyWaterUser", "ScenarioYearlyAggDiv", "ScenarioMonthlyAggDiv",
             "ScenarioYearlyWaterUser", "ScenarioMonthlyWaterUser" })
        total += scalar(db, std::string("SELECT COUNT(*) FROM ") + table);
    sqlite3_close(db);
    return total;
}

} // namespace

// A fresh recalculation of a basin that tarnhelm-cli makes with demoOption: its time, rows and
// peak memory.
struct FreshRun {
    RunResult run;
    long long rows = 0;
    double secondsMade = 0;
};

FreshRun freshRecalc(const std::string& path, const char* demoOption)
{
    FreshRun fresh;
    std::remove(path.c_str());
    const auto start = std::chrono::steady_clock::now();
    if (runCli({ "demo", demoOption, path }).status != 0) {
        std::fprintf(stderr, "tarnhelm-cli demo %s failed\n", demoOption);
        std::exit(1);
    }
    fresh.secondsMade
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fresh.run = runCli({ "recalc", path, "--full" });
    if (fresh.run.status != 0) {
        std::fprintf(
            stderr, "recalc --full of %s failed with status %d\n", path.c_str(), fresh.run.status);
        std::exit(1);
    }
    fresh.rows = resultRows(path);
    return fresh;
}

int stress(const std::string& dir)
{
    mkdir(dir.c_str(), 0755);
    std::printf("Making and computing the benchmark basin ...\n");
    std::fflush(stdout);
    const FreshRun bench = freshRecalc(dir + "/bench.db", "--large");
    std::printf("Making and computing the stress basin ...\n");
    std::fflush(stdout);
    const FreshRun big = freshRecalc(dir + "/stress.db", "--stress");
    struct stat info = {};
    stat((dir + "/stress.db").c_str(), &info);
    const double benchPerRow = bench.run.seconds / double(bench.rows) * 1e6;
    const double bigPerRow = big.run.seconds / double(big.rows) * 1e6;
    std::printf("\n%-22s %14s %10s %12s %10s %10s\n", "recalc --full, fresh", "result rows",
        "seconds", "us per row", "peak MB", "made in s");
    std::printf("%-22s %14lld %10.2f %12.3f %10.1f %10.1f\n", "benchmark basin", bench.rows,
        bench.run.seconds, benchPerRow, bench.run.maxRssKb / 1024.0, bench.secondsMade);
    std::printf("%-22s %14lld %10.2f %12.3f %10.1f %10.1f\n", "stress basin", big.rows,
        big.run.seconds, bigPerRow, big.run.maxRssKb / 1024.0, big.secondsMade);
    std::printf("stress file: %.2f GB\n", double(info.st_size) / 1e9);
    std::printf("time per row, stress / benchmark: %.3f (goal <= 1.15)\n", bigPerRow / benchPerRow);
    std::printf("peak memory goal: < 1024 MB\n");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--stress") == 0)
        return stress(argc > 2 ? argv[2] : "/tmp/tarnhelm-stress");
    std::string dir = argc > 1 ? argv[1] : "/tmp/tarnhelm-recalc-bench";
    mkdir(dir.c_str(), 0755);
    const std::string fixture = dir + "/basin.db";
    const std::string work = dir + "/work.db";
    const std::string floorDb = dir + "/floor.db";

    struct stat info = {};
    if (stat(fixture.c_str(), &info) != 0) {
        std::printf("Making the large basin ...\n");
        if (runCli({ "demo", "--large", fixture }).status != 0) {
            std::printf(
                "  tarnhelm-cli demo --large is not available; using the bench's own basin\n");
            makeFixture(fixture);
        }
    }
    copyFile(fixture, work);
    copyFile(fixture, floorDb);

    const RunResult full = runCli({ "recalc", work, "--full" });
    if (full.status != 0) {
        std::fprintf(stderr, "recalc --full failed with status %d\n", full.status);
        return 1;
    }
    const long long rows = resultRows(work);
    long long floorRows = 0;
    const double floorSeconds = insertFloor(floorDb, floorRows);

    // The same basin again, up to date: every computed row is already stored.
    const unsigned long counterBefore = changeCounter(work);
    const RunResult again = runCli({ "recalc", work, "--full" });
    const unsigned long counterAfter = changeCounter(work);
    // One water user's inputs edited.
    const long long edited = editOneWaterUser(work);
    const RunResult afterEdit = runCli({ "recalc", work, "--full" });

    const RunResult upToDate = runCli({ "recalc", work });

    // Sites with stored results are skipped whole, so half of the water users are made to need
    // new results by removing every result of half of the sites.
    {
        sqlite3* db = openDb(work);
        for (const char* table : { "BaseYearlyAggDiv", "BaseMonthlyAggDiv", "ScenarioYearlyAggDiv",
                 "ScenarioMonthlyAggDiv" })
            exec(db, std::string("DELETE FROM ") + table + " WHERE AggDivID % 2 = 0");
        for (const char* table : { "BaseYearlyWaterUser", "BaseMonthlyWaterUser",
                 "ScenarioYearlyWaterUser", "ScenarioMonthlyWaterUser" })
            exec(db,
                std::string("DELETE FROM ") + table
                    + " WHERE WaterUserID IN (SELECT "
                      "WaterUserID FROM WaterUser WHERE AggDivID % 2 = 0)");
        sqlite3_close(db);
    }
    const RunResult half = runCli({ "recalc", work });

    std::printf("result rows:            %lld (floor wrote %lld)\n", rows, floorRows);
    std::printf("floor (SQLite C API):   %.2f s\n", floorSeconds);
    std::printf(
        "\n%-44s %8s %8s %8s %10s\n", "recalc --full", "seconds", "x floor", "goal", "peak MB");
    std::printf("%-44s %8.2f %8.2f %8s %10.1f\n", "freshly made basin", full.seconds,
        full.seconds / floorSeconds, "<= 1.1", full.maxRssKb / 1024.0);
    std::printf("%-44s %8.2f %8.2f %8s %10.1f\n", "same basin, already up to date", again.seconds,
        again.seconds / floorSeconds, "<= 0.3", again.maxRssKb / 1024.0);
    std::printf("%-44s %8.2f %8.2f %8s %10.1f\n",
        ("after editing water user " + std::to_string(edited) + "'s inputs").c_str(),
        afterEdit.seconds, afterEdit.seconds / floorSeconds, "<= 0.3", afterEdit.maxRssKb / 1024.0);
    std::printf("peak memory goal: < 1024 MB in every run\n");
    std::printf("up-to-date run: file change counter %lu before, %lu after (%s)\n", counterBefore,
        counterAfter, counterBefore == counterAfter ? "nothing written" : "the file was written");
    std::printf("\nrecalc, up to date:     %.2f s (goal < 1 s)\n", upToDate.seconds);
    std::printf("recalc, half the users: %.2f s\n", half.seconds);
    return full.status == 0 && again.status == 0 && afterEdit.status == 0 && upToDate.status == 0
            && half.status == 0
        ? 0
        : 1;
}
