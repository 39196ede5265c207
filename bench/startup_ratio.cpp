// Start-up time and memory of the station against a bare Qt window, measured the same way
// for both and in alternation: from exec to the first window the X server maps, and the
// resident set 3 s after exec. Needs an X server (bench/run starts Xvfb). Figures only.
//   bench_startup STATION BARE_WINDOW [PAIRS]   (default 9 pairs, after one warm-up each)

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

double nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Run
{
    double mapMs = -1;
    long rssKb = -1;
};

class MapWatcher
{
public:
    bool connect()
    {
        connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection))
            return false;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
        drain();
        return true;
    }
    ~MapWatcher()
    {
        if (connection)
            xcb_disconnect(connection);
    }

    // Everything the server sent so far, forgotten: a run sees only its own windows.
    void drain()
    {
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
            free(event);
    }

    // Time of the first top-level map after now, or -1 when none came before the deadline.
    double waitForMap(double deadlineMs)
    {
        const int fd = xcb_get_file_descriptor(connection);
        for (;;) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
                const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
                free(event);
                if (mapped)
                    return nowMs();
            }
            const double left = deadlineMs - nowMs();
            if (left <= 0 || xcb_connection_has_error(connection))
                return -1;
            pollfd pfd{fd, POLLIN, 0};
            poll(&pfd, 1, static_cast<int>(left) + 1);
        }
    }

private:
    xcb_connection_t *connection = nullptr;
};

long residentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// The station keeps its data folder and settings under the user's XDG folders; point them
// at a scratch folder so the bench never touches the real user's.
std::vector<std::string> childEnvironment(const std::string &scratch)
{
    std::vector<std::string> env;
    for (char **entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("XDG_DATA_HOME=", 0) != 0 && text.rfind("XDG_CONFIG_HOME=", 0) != 0)
            env.push_back(text);
    }
    env.push_back("XDG_DATA_HOME=" + scratch + "/data");
    env.push_back("XDG_CONFIG_HOME=" + scratch + "/config");
    return env;
}

Run measure(MapWatcher &watcher, const std::string &program, std::vector<std::string> env)
{
    std::vector<char *> envp;
    for (std::string &entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string name = program;
    char *argv[] = {name.data(), nullptr};

    watcher.drain();
    Run run;
    pid_t pid = 0;
    const double started = nowMs();
    // The programs' own lines would only interleave with the figures.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(spawned));
        return run;
    }
    const double mapped = watcher.waitForMap(started + 20000);
    if (mapped >= 0)
        run.mapMs = mapped - started;
    const double rssAt = started + 3000;
    while (nowMs() < rssAt)
        usleep(static_cast<useconds_t>(std::max(1.0, rssAt - nowMs()) * 1000));
    run.rssKb = residentKb(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void summary(const char *what, const std::vector<Run> &runs, double *mapMedian, double *rssMedian)
{
    std::vector<double> maps, rss;
    for (const Run &run : runs) {
        maps.push_back(run.mapMs);
        rss.push_back(run.rssKb / 1024.0);
    }
    *mapMedian = median(maps);
    *rssMedian = median(rss);
    std::printf("%-12s first map %.0f-%.0f ms (median %.0f); RSS at 3 s %.1f-%.1f MB (median %.1f)\n",
                what, *std::min_element(maps.begin(), maps.end()),
                *std::max_element(maps.begin(), maps.end()), *mapMedian,
                *std::min_element(rss.begin(), rss.end()), *std::max_element(rss.begin(), rss.end()),
                *rssMedian);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s STATION BARE_WINDOW [PAIRS]\n", argv[0]);
        return 2;
    }
    const std::string station = argv[1];
    const std::string bare = argv[2];
    const int pairs = argc > 3 ? std::atoi(argv[3]) : 9;
    if (pairs <= 0) {
        std::fprintf(stderr, "usage: %s STATION BARE_WINDOW [PAIRS]\n", argv[0]);
        return 2;
    }
    MapWatcher watcher;
    if (!watcher.connect()) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }
    char scratchTemplate[] = "/tmp/kestro-startup.XXXXXX";
    if (!mkdtemp(scratchTemplate)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string scratch = scratchTemplate;
    const std::vector<std::string> env = childEnvironment(scratch);

    // One unmeasured start of each: the station makes its data folder, caches fill.
    measure(watcher, station, env);
    measure(watcher, bare, env);
    std::vector<Run> stationRuns, bareRuns;
    for (int pair = 0; pair < pairs; ++pair) {
        // Alternate which goes first, so neither always follows the other's exit.
        if (pair % 2 == 0) {
            stationRuns.push_back(measure(watcher, station, env));
            bareRuns.push_back(measure(watcher, bare, env));
        } else {
            bareRuns.push_back(measure(watcher, bare, env));
            stationRuns.push_back(measure(watcher, station, env));
        }
        std::printf("pair %d: station %.0f ms %.1f MB, bare window %.0f ms %.1f MB\n", pair + 1,
                    stationRuns.back().mapMs, stationRuns.back().rssKb / 1024.0,
                    bareRuns.back().mapMs, bareRuns.back().rssKb / 1024.0);
    }
    if (std::system(("rm -rf '" + scratch + "'").c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", scratch.c_str());

    for (const Run &run : stationRuns)
        if (run.mapMs < 0 || run.rssKb < 0)
            return 1;
    for (const Run &run : bareRuns)
        if (run.mapMs < 0 || run.rssKb < 0)
            return 1;
    double stationMap, stationRss, bareMap, bareRss;
    summary("station", stationRuns, &stationMap, &stationRss);
    summary("bare window", bareRuns, &bareMap, &bareRss);
    std::printf("start-up ratio %.2fx, memory ratio %.2fx (station / bare window, medians)\n",
                stationMap / bareMap, stationRss / bareRss);
    return 0;
}
