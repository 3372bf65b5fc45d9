// Start-up time: launches startup_probe (the recorder's own start-up, up to
// the first painted frame of its main window) and bare_window (a bare Qt
// window program) in turns on the offscreen platform, passing each the
// moment of its launch. Prints the medians:
//   launch_to_first_frame_offscreen_ms       launch to the recorder's first
//                                            painted frame, offscreen
//   bare_launch_to_first_frame_offscreen_ms  the same for the bare window
//   launch_to_first_frame_vs_bare_ratio      the two in the same round, divided
// Sanity check (exit status 1): every launch reports its first frame.

#include "BenchRecorder.h"
#include "LaunchClock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr int kRounds = 9;

/// Runs `program` with its own current folder and temporary folder and
/// returns the milliseconds it reports, or a negative number on failure.
double launch(const QString &program, const QString &folder)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1.0;

    // The environment is prepared before the clock is read; only the
    // launch time itself is filled in afterwards.
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("QDR_LAUNCH_NS=", 0) != 0 && entry.rfind("TMPDIR=", 0) != 0
            && entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
            environment.push_back(entry);
    }
    environment.push_back("QT_QPA_PLATFORM=offscreen");
    environment.push_back("TMPDIR=" + folder.toStdString());
    environment.push_back(std::string("QDR_LAUNCH_NS=") + std::string(24, ' '));
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string path = program.toStdString();
    const std::string cwd = folder.toStdString();
    char *argv[] = {const_cast<char *>(path.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::string &stamp = environment.back();
    const std::string value = std::to_string(launchclock::nowNs());
    stamp.replace(std::strlen("QDR_LAUNCH_NS="), std::string::npos, value);
    envp[environment.size() - 1] = stamp.data();

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return -1.0;
    }

    std::string text;
    pollfd fd{out[0], POLLIN, 0};
    while (poll(&fd, 1, 20000) > 0) {
        char buffer[256];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, size_t(n));
    }
    close(out[0]);
    kill(pid, SIGKILL); // a probe that never painted would run on
    waitpid(pid, nullptr, 0);

    const size_t at = text.find("startup_ms ");
    return at == std::string::npos ? -1.0 : std::atof(text.c_str() + at + std::strlen("startup_ms "));
}

/// The recorder reads its settings beside itself, as an installed copy
/// does; the defaults go there unless settings are already present.
void provideSettings()
{
    for (const char *name : {"qvx.ini", "sensor.ini"}) {
        const QString target = QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(name));
        if (!QFile::exists(target))
            QFile::copy(QStringLiteral(QDR_SOURCE_DIR "/setup/defaults/") + QLatin1String(name), target);
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    provideSettings();
    const QString bin = QCoreApplication::applicationDirPath();
    const QString probe = bin + QStringLiteral("/startup_probe");
    const QString bare = bin + QStringLiteral("/bare_window");

    std::vector<double> recorderMs, bareMs, ratios;
    for (int round = 0; round <= kRounds; ++round) {
        // A fresh folder per launch: working file, lock and socket of the
        // single-instance check never meet those of an earlier launch.
        QTemporaryDir first, second;
        const bool recorderFirst = round % 2 == 0;
        const double a = launch(recorderFirst ? probe : bare, first.path());
        const double b = launch(recorderFirst ? bare : probe, second.path());
        const double recorder = recorderFirst ? a : b;
        const double window = recorderFirst ? b : a;
        if (recorder <= 0 || window <= 0) {
            std::fprintf(stderr, "a start-up probe did not report (recorder %.1f, bare %.1f)\n", recorder, window);
            return 1;
        }
        if (round == 0)
            continue; // warms the file cache and the font cache
        recorderMs.push_back(recorder);
        bareMs.push_back(window);
        ratios.push_back(recorder / window);
    }
    std::printf("launch_to_first_frame_offscreen_ms %.1f ms\n", bench::median(recorderMs));
    std::printf("bare_launch_to_first_frame_offscreen_ms %.1f ms\n", bench::median(bareMs));
    std::printf("launch_to_first_frame_vs_bare_ratio %.2f ratio\n", bench::median(ratios));
    return 0;
}
