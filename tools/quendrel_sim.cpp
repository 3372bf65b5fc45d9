// quendrel_sim: a stand-in for the Quendrel/2 instrument on a pseudo-terminal.
//
// The recorder opens port N through a link COM<N> in its program folder; this
// program creates a pseudo-terminal, points that link at it and then behaves
// as the instrument does on its serial line: character code 2 starts a
// measurement (header lines, then one sample line per interval), code 3 stops
// it. It can also tear lines into pieces, flood the line, send overloads and
// vanish like a pulled USB adapter, so the recorder can be exercised against
// the awkward cases as well as the normal ones.
//
// Plain C++20 and POSIX; one thread, one poll() loop, never a busy wait.

#include <pty.h>
#include <termios.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

constexpr char startCode = 2;
constexpr char stopCode = 3;

/// Command-line options; the defaults give a plain one-line-per-second run.
struct Options
{
    int port = 1;
    std::string dir = ".";
    std::string link;   ///< the device's link, instead of <dir>/COM<port>
    std::string unit1 = "degrC";
    std::string unit2 = "bar";
    int code1 = 4;
    int code2 = 45;
    int intervalMs = 1000;
    int leadInMs = 200;
    bool tabs = false;
    bool tear = false;
    long hangupAfter = 0;
    long returnAfterMs = -1;
    long lines = -1;
    long ovlEvery = 0;
    std::string sentFile;
    std::string rxLogFile;
    unsigned seed = 1;
    bool header = true;
    bool exitOnStdinEof = false;
};

/// Full scale of each sensor code, as the recorder's sensor table knows it.
double fullScale(int code)
{
    struct Row { std::vector<int> codes; double scale; };
    static const Row rows[] = {
        {{0, 4, 8, 10, 12, 14, 24, 32, 34, 36, 38}, 100.0}, {{3}, 4.0},
        {{2, 7, 16}, 15.0}, {{9, 17}, 60.0}, {{1, 11, 18, 22}, 150.0},
        {{19}, 300.0}, {{5}, 400.0}, {{13, 20}, 600.0}, {{21}, 750.0},
        {{6}, 1000.0}, {{23, 47}, 10000.0}, {{25, 46}, 540.0}, {{26}, 232.0},
        {{27}, 58.02}, {{28}, 1450.0}, {{29}, 5802.0}, {{30}, 14502.0},
        {{31}, 217.6}, {{33}, 870.2}, {{35}, 2176.0}, {{39}, 21756.0},
        {{37}, 8702.0}, {{40}, 3.963}, {{41}, 15.85}, {{42}, 39.63},
        {{43}, 79.25}, {{44}, 158.5}, {{45}, 198.2},
    };
    for (const Row &row : rows)
        if (std::find(row.codes.begin(), row.codes.end(), code) != row.codes.end())
            return row.scale;
    return 100.0;
}

/// One input's moving value with the maximum and minimum since the start.
class Channel
{
public:
    explicit Channel(double scale) : m_scale(scale) {}

    void restart(std::mt19937 &rng)
    {
        m_value = std::uniform_real_distribution<double>(0.2, 0.6)(rng) * m_scale;
        m_max = m_min = std::nullopt;
    }

    /// Moves the value a few percent of the scale, staying inside 0..scale.
    void step(std::mt19937 &rng)
    {
        const double delta = std::uniform_real_distribution<double>(-0.05, 0.05)(rng) * m_scale;
        m_value = std::clamp(m_value + delta, 0.0, m_scale * 0.98);
        const double shown = std::round(m_value * 10.0) / 10.0;
        m_max = std::max(m_max.value_or(shown), shown);
        m_min = std::min(m_min.value_or(shown), shown);
    }

    double act() const { return std::round(m_value * 10.0) / 10.0; }
    double max() const { return *m_max; }
    double min() const { return *m_min; }

private:
    double m_scale;
    double m_value = 0.0;
    std::optional<double> m_max;
    std::optional<double> m_min;
};

/// A piece of output waiting for the line. Lines may be torn into several
/// pieces with a pause before each later piece.
struct Chunk
{
    std::string data;
    std::size_t written = 0;
    Millis pauseBefore{0};
    bool lineStart = false;   ///< first piece of a line (a stop drops unstarted lines)
    bool sampleEnd = false;   ///< last piece of a sample line
};

volatile sig_atomic_t g_terminate = 0;
volatile sig_atomic_t g_hangupRequest = 0;
volatile sig_atomic_t g_returnRequest = 0;
int g_wakePipe[2] = {-1, -1};

void onSignal(int sig)
{
    const int saved = errno;
    if (sig == SIGTERM || sig == SIGINT)
        g_terminate = 1;
    else if (sig == SIGUSR1)
        g_hangupRequest = 1;
    else if (sig == SIGUSR2)
        g_returnRequest = 1;
    const char byte = 0;
    [[maybe_unused]] auto ignored = ::write(g_wakePipe[1], &byte, 1);
    errno = saved;
}

void say(const std::string &line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void warn(const std::string &line)
{
    std::fprintf(stderr, "quendrel2-sim: %s\n", line.c_str());
}

/// Appends bytes to a log file kept open for the whole run.
class AppendFile
{
public:
    bool open(const std::string &path)
    {
        if (path.empty())
            return true;
        m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        return m_fd >= 0;
    }
    ~AppendFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    void append(const char *data, std::size_t size)
    {
        while (m_fd >= 0 && size > 0) {
            const ssize_t n = ::write(m_fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            data += n;
            size -= std::size_t(n);
        }
    }

private:
    int m_fd = -1;
};

/// The pseudo-terminal and the COM<N> link that makes it reachable.
class Device
{
public:
    explicit Device(std::string linkPath) : m_linkPath(std::move(linkPath)) {}
    ~Device() { vanish(); }

    bool present() const { return m_master >= 0; }
    int master() const { return m_master; }
    const std::string &slavePath() const { return m_slavePath; }

    /// Bytes sent but not yet read by the other side.
    int unread() const
    {
        int n = 0;
        return m_slave >= 0 && ::ioctl(m_slave, FIONREAD, &n) == 0 ? n : 0;
    }

    /// Creates a new pty and points the link at it. Our own descriptor of
    /// the slave stays open, so the master never sees a hang-up when the
    /// recorder closes and re-opens the port between measurements.
    bool appear()
    {
        char name[256] = {};
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            warn(std::string("openpty: ") + std::strerror(errno));
            return false;
        }
        termios tio{};
        if (::tcgetattr(slave, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(slave, TCSANOW, &tio);
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);

        // Link under a temporary name first, then rename over any stale
        // COM<N>, so the name never points nowhere while we replace it.
        const std::string temp = m_linkPath + ".tmp" + std::to_string(::getpid());
        ::unlink(temp.c_str());
        if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), m_linkPath.c_str()) != 0) {
            warn("cannot create link " + m_linkPath + ": " + std::strerror(errno));
            ::unlink(temp.c_str());
            ::close(master);
            ::close(slave);
            return false;
        }
        m_master = master;
        m_slave = slave;
        m_slavePath = name;
        return true;
    }

    /// Closes both ends and removes the link: to the recorder the device is
    /// gone, as when a USB adapter is pulled.
    void vanish()
    {
        if (m_master < 0)
            return;
        // Remove the link only while it still points at our pty.
        char target[256] = {};
        const ssize_t n = ::readlink(m_linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && m_slavePath == std::string(target, std::size_t(n)))
            ::unlink(m_linkPath.c_str());
        ::close(m_master);
        ::close(m_slave);
        m_master = m_slave = -1;
    }

private:
    std::string m_linkPath;
    std::string m_slavePath;
    int m_master = -1;
    int m_slave = -1;
};

std::string formatValue(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string padLeft(const std::string &text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

/// The instrument: reacts to start and stop, produces the header and the
/// sample lines, and feeds them to the line as fast as it accepts them.
class Instrument
{
public:
    explicit Instrument(const Options &options)
        : m_opt(options),
          m_device(options.link.empty() ? options.dir + "/COM" + std::to_string(options.port) : options.link),
          m_valueRng(options.seed),
          m_tearRng(options.seed ^ 0x5eedu),
          m_input1(fullScale(options.code1)),
          m_input2(fullScale(options.code2))
    {
    }

    bool init()
    {
        if (!m_sent.open(m_opt.sentFile)) {
            warn("cannot open " + m_opt.sentFile);
            return false;
        }
        if (!m_rxLog.open(m_opt.rxLogFile)) {
            warn("cannot open " + m_opt.rxLogFile);
            return false;
        }
        return appear();
    }

    int run();

private:
    bool appear()
    {
        // The instrument measures on while its adapter is away: a running
        // measurement goes on with its next sample line.
        if (!m_device.appear())
            return false;
        m_queue.clear();
        say("READY " + m_device.slavePath());
        return true;
    }

    void hangUp()
    {
        if (!m_device.present())
            return;
        m_device.vanish();
        m_queue.clear();
        m_hangupDeadline.reset();
        m_headReadyAt.reset();
        say("HANGUP");
        if (m_opt.returnAfterMs >= 0)
            m_returnAt = Clock::now() + Millis(m_opt.returnAfterMs);
    }

    void start();
    void stop();
    void dropUnstartedLines();
    void queueLine(const std::string &line, Millis pauseBefore, bool sample);
    std::string sampleLine();
    void readInput();
    bool writeOutput(Clock::time_point now);
    void maybeQueueSample(Clock::time_point now);
    int pollTimeout(Clock::time_point now) const;

    const Options &m_opt;
    Device m_device;
    AppendFile m_sent;
    AppendFile m_rxLog;
    std::mt19937 m_valueRng;
    std::mt19937 m_tearRng;
    Channel m_input1;
    Channel m_input2;

    bool m_running = false;
    long m_samplesThisStart = 0;     // sample lines queued since the last start
    long m_samplesWritten = 0;       // sample lines fully written, whole run
    bool m_hungUpByCount = false;
    std::optional<Clock::time_point> m_hangupDeadline;  // --hangup-after: draining
    Clock::time_point m_hangupEarliest{};
    Clock::time_point m_nextSampleAt{};
    std::optional<Clock::time_point> m_returnAt;
    std::optional<Clock::time_point> m_headReadyAt;  // when the queue head may go out
    std::deque<Chunk> m_queue;
};

void Instrument::dropUnstartedLines()
{
    auto it = std::find_if(m_queue.begin(), m_queue.end(),
                           [](const Chunk &c) { return c.lineStart && c.written == 0; });
    m_queue.erase(it, m_queue.end());
    if (m_queue.empty())
        m_headReadyAt.reset();
}

void Instrument::queueLine(const std::string &line, Millis pauseBefore, bool sample)
{
    const std::string text = line + "\r\n";
    std::vector<std::size_t> cuts;
    if (m_opt.tear && text.size() > 2) {
        // Two or three pieces; a cut may fall anywhere, even between CR and LF.
        const int pieces = std::uniform_int_distribution<int>(2, 3)(m_tearRng);
        std::uniform_int_distribution<std::size_t> at(1, text.size() - 1);
        while (int(cuts.size()) < pieces - 1) {
            const std::size_t c = at(m_tearRng);
            if (std::find(cuts.begin(), cuts.end(), c) == cuts.end())
                cuts.push_back(c);
        }
        std::sort(cuts.begin(), cuts.end());
    }
    cuts.push_back(text.size());
    std::size_t from = 0;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        Chunk chunk;
        chunk.data = text.substr(from, cuts[i] - from);
        chunk.lineStart = (i == 0);
        chunk.sampleEnd = sample && (i + 1 == cuts.size());
        chunk.pauseBefore = (i == 0) ? pauseBefore : Millis(30);
        m_queue.push_back(std::move(chunk));
        from = cuts[i];
    }
}

void Instrument::start()
{
    dropUnstartedLines();
    m_running = true;
    m_samplesThisStart = 0;
    m_input1.restart(m_valueRng);
    m_input2.restart(m_valueRng);
    say("START");
    if (m_opt.header) {
        char code1[8];
        char code2[8];
        std::snprintf(code1, sizeof code1, "%02d", m_opt.code1);
        std::snprintf(code2, sizeof code2, "%02d", m_opt.code2);
        std::string interval;
        if (m_opt.intervalMs % 1000 == 0)
            interval = std::to_string(m_opt.intervalMs / 1000);
        else
            interval = formatValue(m_opt.intervalMs / 1000.0);
        // A short empty line first: the recorder puts its notes header in
        // place of the first piece it receives, so the header must not be
        // part of that piece.
        Millis pause{0};
        if (m_opt.leadInMs > 0) {
            queueLine("", Millis(0), false);
            pause = Millis(m_opt.leadInMs);
        }
        queueLine("INP1 = " + m_opt.unit1, pause, false);
        queueLine(std::string("SR1 = Range ") + code1, Millis(0), false);
        queueLine("INP2 = " + m_opt.unit2, Millis(0), false);
        queueLine(std::string("SR2 = Range ") + code2, Millis(0), false);
        queueLine("Print interval = " + interval + " s", Millis(0), false);
    }
    m_nextSampleAt = Clock::now() + Millis(m_opt.intervalMs);
}

void Instrument::stop()
{
    dropUnstartedLines();
    m_running = false;
    say("STOP");
}

std::string Instrument::sampleLine()
{
    ++m_samplesThisStart;
    m_input1.step(m_valueRng);
    m_input2.step(m_valueRng);

    std::string time;
    if (m_opt.intervalMs == 0 || m_opt.intervalMs % 1000 == 0)
        time = std::to_string(m_opt.intervalMs == 0 ? m_samplesThisStart
                                                    : m_samplesThisStart * (m_opt.intervalMs / 1000));
    else
        time = formatValue(m_samplesThisStart * m_opt.intervalMs / 1000.0);

    const bool overload = m_opt.ovlEvery > 0 && m_samplesThisStart % m_opt.ovlEvery == 0;
    const std::string words[6] = {
        overload ? "*Ovl*" : formatValue(m_input1.act()), formatValue(m_input1.max()),
        formatValue(m_input1.min()), formatValue(m_input2.act()),
        formatValue(m_input2.max()), formatValue(m_input2.min()),
    };
    std::string line = padLeft(time, 5);
    for (const std::string &w : words)
        line += m_opt.tabs ? "\t" + padLeft(w, 8) : padLeft(w, 13);
    return line;
}

void Instrument::readInput()
{
    char buf[4096];
    const ssize_t n = ::read(m_device.master(), buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        // Cannot happen while we hold the slave open; treat it as the device
        // going away rather than polling a dead descriptor.
        warn(n == 0 ? "unexpected end of line" : std::string("read: ") + std::strerror(errno));
        hangUp();
        return;
    }
    m_rxLog.append(buf, std::size_t(n));
    std::string hex = "RX";
    for (ssize_t i = 0; i < n; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", static_cast<unsigned char>(buf[i]));
        hex += byte;
    }
    say(hex);
    for (ssize_t i = 0; i < n; ++i) {
        if (buf[i] == startCode)
            start();
        else if (buf[i] == stopCode)
            stop();
    }
}

// Writes what the line takes now. Returns false when the device hung up.
bool Instrument::writeOutput(Clock::time_point now)
{
    while (!m_queue.empty()) {
        Chunk &head = m_queue.front();
        if (head.written == 0) {
            if (!m_headReadyAt)
                m_headReadyAt = now + head.pauseBefore;
            if (now < *m_headReadyAt)
                return true;
        }
        const ssize_t n = ::write(m_device.master(), head.data.data() + head.written,
                                  head.data.size() - head.written);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR)
                return true;   // line full: poll for POLLOUT
            warn(std::string("write: ") + std::strerror(errno));
            hangUp();
            return false;
        }
        m_sent.append(head.data.data() + head.written, std::size_t(n));
        head.written += std::size_t(n);
        if (head.written < head.data.size())
            return true;
        const bool sampleEnd = head.sampleEnd;
        m_queue.pop_front();
        m_headReadyAt.reset();
        if (sampleEnd) {
            ++m_samplesWritten;
            if (m_opt.hangupAfter > 0 && !m_hungUpByCount && m_samplesWritten >= m_opt.hangupAfter) {
                // Vanish once the recorder has read what was sent, so a
                // test sees exactly N lines; give up waiting after 2 s.
                m_hungUpByCount = true;
                // The pty moves written bytes to the reader's queue a
                // moment later, so the first look is after a short pause.
                m_hangupDeadline = now + Millis(2000);
                m_hangupEarliest = now + Millis(20);
                m_queue.clear();
                return true;
            }
        }
    }
    return true;
}

void Instrument::maybeQueueSample(Clock::time_point now)
{
    if (!m_running || !m_queue.empty() || m_hangupDeadline)
        return;
    if (m_opt.lines >= 0 && m_samplesThisStart >= m_opt.lines)
        return;
    if (m_opt.intervalMs > 0) {
        if (now < m_nextSampleAt)
            return;
        m_nextSampleAt += Millis(m_opt.intervalMs);
        if (m_nextSampleAt < now)   // we fell behind (line full): do not burst
            m_nextSampleAt = now + Millis(m_opt.intervalMs);
    }
    queueLine(sampleLine(), Millis(0), true);
}

int Instrument::pollTimeout(Clock::time_point now) const
{
    std::optional<Clock::time_point> wake;
    auto consider = [&wake](Clock::time_point t) { wake = wake ? std::min(*wake, t) : t; };
    if (m_device.present()) {
        if (m_headReadyAt && !m_queue.empty() && m_queue.front().written == 0)
            consider(*m_headReadyAt);
        if (m_hangupDeadline)
            consider(std::min(*m_hangupDeadline, now + Millis(20)));
        const bool moreLines = !m_hangupDeadline && (m_opt.lines < 0 || m_samplesThisStart < m_opt.lines);
        // At full speed the next line follows as soon as the line took the last.
        if (m_running && m_queue.empty() && moreLines)
            consider(m_opt.intervalMs > 0 ? m_nextSampleAt : now);
    } else if (m_returnAt) {
        consider(*m_returnAt);
    }
    if (!wake)
        return -1;
    const auto ms = std::chrono::ceil<Millis>(*wake - now).count();
    return int(std::clamp<long long>(ms, 0, 60'000));
}

int Instrument::run()
{
    for (;;) {
        if (g_terminate)
            return 0;
        if (g_hangupRequest) {
            g_hangupRequest = 0;
            hangUp();
        }
        if (g_returnRequest) {
            g_returnRequest = 0;
            if (!m_device.present()) {
                m_returnAt.reset();
                if (!appear())
                    return 1;
            }
        }
        auto now = Clock::now();
        if (!m_device.present() && m_returnAt && now >= *m_returnAt) {
            m_returnAt.reset();
            if (!appear())
                return 1;
        }

        if (m_device.present() && m_hangupDeadline && now >= m_hangupEarliest
            && (m_device.unread() == 0 || now >= *m_hangupDeadline)) {
            m_hangupDeadline.reset();
            hangUp();
        }
        if (m_device.present()) {
            maybeQueueSample(now);
            writeOutput(now);
        }

        pollfd fds[3];
        nfds_t count = 0;
        fds[count++] = {g_wakePipe[0], POLLIN, 0};
        int deviceIndex = -1;
        if (m_device.present()) {
            short events = POLLIN;
            const bool headDue = !m_queue.empty()
                && (m_queue.front().written > 0 || (m_headReadyAt && now >= *m_headReadyAt));
            if (headDue)
                events |= POLLOUT;
            deviceIndex = int(count);
            fds[count++] = {m_device.master(), events, 0};
        }
        int stdinIndex = -1;
        if (m_opt.exitOnStdinEof) {
            stdinIndex = int(count);
            fds[count++] = {STDIN_FILENO, POLLIN, 0};
        }

        const int ready = ::poll(fds, count, pollTimeout(Clock::now()));
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            warn(std::string("poll: ") + std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (::read(g_wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
        if (stdinIndex >= 0 && fds[stdinIndex].revents) {
            char buf[256];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                return 0;
        }
        if (deviceIndex >= 0 && m_device.present()) {
            const short rev = fds[deviceIndex].revents;
            if (rev & (POLLIN | POLLHUP | POLLERR))
                readInput();
        }
    }
}

[[noreturn]] void usage(int code)
{
    std::fputs(
        "usage: quendrel2-sim [options]\n"
        "  --port N              serial port number, reached as link COM<N> (1)\n"
        "  --dir D               folder for the link (.)\n"
        "  --link PATH           the device's link at PATH instead of D/COM<N>: a\n"
        "                        device of its own for quendrel2-recorder --device PATH\n"
        "  --unit1 U --unit2 U   units of the two inputs (degrC, bar)\n"
        "  --code1 C --code2 C   sensor codes of the two inputs (04, 45)\n"
        "  --interval-ms N       time between sample lines, 0 = as fast as possible (1000)\n"
        "  --lead-in-ms N        pause after the empty line that precedes the header,\n"
        "                        0 = no empty line (200)\n"
        "  --tabs                tabs between the words instead of runs of blanks\n"
        "  --tear                write each line in two or three pieces\n"
        "  --ovl-every N         every Nth sample line reports an overload on input 1\n"
        "  --lines N             send only N sample lines per start\n"
        "  --hangup-after N      vanish after N sample lines\n"
        "  --return-after-ms M   come back M ms after vanishing\n"
        "  --sent FILE           append every byte sent to FILE\n"
        "  --rx-log FILE         append every byte received to FILE\n"
        "  --seed N              seed of the values (1)\n"
        "  --no-header           send sample lines only\n"
        "  --exit-on-stdin-eof   end when standard input closes\n"
        "signals: TERM/INT end, USR1 vanish now (the link is removed), USR2 come\n"
        "back as a new pseudo-terminal behind the same link; a running measurement\n"
        "goes on\n",
        code == 0 ? stdout : stderr);
    std::exit(code);
}

long numberArg(const char *name, const char *text, long min, long max)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) {
        warn(std::string("bad value for ") + name + ": " + text);
        usage(2);
    }
    return v;
}

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                warn(std::string("missing value for ") + argv[i]);
                usage(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h")
            usage(0);
        else if (arg == "--port")
            o.port = int(numberArg("--port", value(), 1, 255));
        else if (arg == "--dir")
            o.dir = value();
        else if (arg == "--link")
            o.link = value();
        else if (arg == "--unit1")
            o.unit1 = value();
        else if (arg == "--unit2")
            o.unit2 = value();
        else if (arg == "--code1")
            o.code1 = int(numberArg("--code1", value(), 0, 99));
        else if (arg == "--code2")
            o.code2 = int(numberArg("--code2", value(), 0, 99));
        else if (arg == "--interval-ms")
            o.intervalMs = int(numberArg("--interval-ms", value(), 0, 3'600'000));
        else if (arg == "--lead-in-ms")
            o.leadInMs = int(numberArg("--lead-in-ms", value(), 0, 60'000));
        else if (arg == "--tabs")
            o.tabs = true;
        else if (arg == "--tear")
            o.tear = true;
        else if (arg == "--ovl-every")
            o.ovlEvery = numberArg("--ovl-every", value(), 0, 1'000'000'000);
        else if (arg == "--lines")
            o.lines = numberArg("--lines", value(), 0, 1'000'000'000);
        else if (arg == "--hangup-after")
            o.hangupAfter = numberArg("--hangup-after", value(), 0, 1'000'000'000);
        else if (arg == "--return-after-ms")
            o.returnAfterMs = numberArg("--return-after-ms", value(), 0, 3'600'000);
        else if (arg == "--sent")
            o.sentFile = value();
        else if (arg == "--rx-log")
            o.rxLogFile = value();
        else if (arg == "--seed")
            o.seed = unsigned(numberArg("--seed", value(), 0, 4'294'967'295L));
        else if (arg == "--no-header")
            o.header = false;
        else if (arg == "--exit-on-stdin-eof")
            o.exitOnStdinEof = true;
        else {
            warn(std::string("unknown option ") + argv[i]);
            usage(2);
        }
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    const Options options = parseOptions(argc, argv);

    if (::pipe2(g_wakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        warn(std::string("pipe: ") + std::strerror(errno));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGUSR1, SIGUSR2})
        ::sigaction(sig, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Instrument instrument(options);
    if (!instrument.init())
        return 1;
    return instrument.run();
}
