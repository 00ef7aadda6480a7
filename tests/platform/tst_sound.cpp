// The PulseAudio block sound: decoding, refusals, and playback to a PulseAudio server the test starts itself.
#include "PulseSoundService.h"
#include "TestProcess.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <future>

#include <sys/stat.h>

namespace {

constexpr qint64 kPromptMs = 1000; // how long a failure may take at most

QString popPath()
{
    const QString root = qEnvironmentVariable("TARNWICK_SOURCE_DIR");
    // Run by hand, without ctest's environment: found relative to this source file.
    return root.isEmpty() ? QFINDTESTDATA("../../resources/sounds/pop.wav")
                          : root + QStringLiteral("/resources/sounds/pop.wav");
}

// A plain RIFF wave: one fmt chunk (format 1 = integer PCM, 3 = float) and one data chunk.
QByteArray wave(quint16 format, int channels, int rate, int bits, const QByteArray& data)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    const auto blockAlign = static_cast<quint16>(channels * bits / 8);
    s.writeRawData("RIFF", 4);
    s << static_cast<quint32>(36 + data.size());
    s.writeRawData("WAVEfmt ", 8);
    s << quint32{16} << format << static_cast<quint16>(channels) << static_cast<quint32>(rate)
      << static_cast<quint32>(rate * blockAlign) << blockAlign << static_cast<quint16>(bits);
    s.writeRawData("data", 4);
    s << static_cast<quint32>(data.size());
    s.writeRawData(data.constData(), static_cast<int>(data.size()));
    return out;
}

template <typename T> QByteArray samples(std::initializer_list<T> values)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s.setFloatingPointPrecision(QDataStream::SinglePrecision);
    for (T v : values)
        s << v;
    return out;
}

QByteArray silence(int frames, int channels)
{
    return QByteArray(qsizetype{frames} * channels * 2, '\0');
}

QString writeFile(const QTemporaryDir& dir, const QByteArray& bytes)
{
    const QString path = dir.filePath(QStringLiteral("sound.wav"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// Sets an environment variable for the scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value)
        : name_(name)
        , wasSet_(qEnvironmentVariableIsSet(name))
        , old_(qgetenv(name))
    {
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv() { wasSet_ ? qputenv(name_, old_) : qunsetenv(name_); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool wasSet_;
    QByteArray old_;
};

// A PulseAudio server of the test's own, with a null sink or no sink at all, listening on a socket in a
// temporary folder; stopped when it goes out of scope.
class PulseServer {
public:
    explicit PulseServer(bool withSink)
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        installed_ = !program.isEmpty();
        if (!installed_ || !dir_.isValid()) {
            error_ = QStringLiteral("no pulseaudio or no temporary folder");
            return;
        }
        QDir(dir_.path()).mkpath(QStringLiteral("home"));
        QDir(dir_.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(dir_.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("runtime")));
        for (const char* name : {"XDG_CONFIG_HOME", "PULSE_SERVER", "DBUS_SESSION_BUS_ADDRESS", "DISPLAY"})
            env.remove(QString::fromLatin1(name));
        process_.setProcessEnvironment(env);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(logPath());
        // -n skips the default script, so the server has only the modules given; root needs --system=no spelt out.
        QStringList args = QStringLiteral("-n --daemonize=no --system=no --use-pid-file=no --exit-idle-time=-1 "
                                          "--realtime=no --high-priority=no --log-target=stderr --log-level=info")
                               .split(QLatin1Char(' '));
        if (withSink)
            args << QStringLiteral("-L") << QStringLiteral("module-null-sink");
        args << QStringLiteral("-L")
             << QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socketPath());
        process_.start(program, args);

        // Ready once the server says its start-up is complete: its socket comes earlier, while it is still
        // setting up (on a fresh machine, for seconds), and a client that connects then may be turned away.
        QElapsedTimer waited;
        waited.start();
        while (!ready() && waited.elapsed() < 60000) {
            if (process_.state() == QProcess::NotRunning || process_.waitForFinished(10))
                break;
        }
        if (!ready())
            error_ = QStringLiteral("pulseaudio did not start: ") + process_.errorString() + QLatin1Char('\n') + log();
    }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    bool installed() const { return installed_; }
    const QString& error() const { return error_; }
    QString address() const { return QStringLiteral("unix:") + socketPath(); }
    QString log() const
    {
        QFile file(logPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }

private:
    bool ready() const
    {
        return QFileInfo::exists(socketPath()) && log().contains(QStringLiteral("Daemon startup complete."));
    }
    QString socketPath() const { return dir_.filePath(QStringLiteral("native")); }
    QString logPath() const { return dir_.filePath(QStringLiteral("server.log")); }

    QTemporaryDir dir_;
    TestProcess server_;
    QProcess& process_ = server_.process();
    bool installed_ = false;
    QString error_;
};

} // namespace

class TestSound : public QObject {
    Q_OBJECT

private slots:
    void shippedPopIsShortSoftAndMono()
    {
        const auto pcm = PulseSoundService::decode(popPath());
        QVERIFY2(pcm, qPrintable(popPath()));
        QCOMPARE(pcm->channels, 1);
        QVERIFY(pcm->rate == 22050 || pcm->rate == 44100);
        const double seconds = static_cast<double>(pcm->samples.size()) / pcm->rate;
        QVERIFY2(seconds > 0.03 && seconds < 0.2, qPrintable(QString::number(seconds)));
        int peak = 0;
        for (std::int16_t v : pcm->samples)
            peak = std::max(peak, std::abs(int{v}));
        QVERIFY2(peak > 3000 && peak < 30000, "audible but not clipped");
        // Silent at both ends: no click when it starts or stops.
        QVERIFY(std::abs(int{pcm->samples.front()}) < 330);
        QVERIFY(std::abs(int{pcm->samples.back()}) < 330);
    }

    void decodesToInterleaved16Bit_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QList<int>>("expected");
        using I16 = qint16;
        QTest::newRow("16-bit mono") << wave(1, 1, 22050, 16, samples<I16>({0, 1000, -1000, 32767, -32768})) << 22050
                                     << 1 << QList<int>{0, 1000, -1000, 32767, -32768};
        QTest::newRow("8-bit stereo") << wave(1, 2, 8000, 8, QByteArray::fromHex("80ff0080")) << 8000 << 2
                                      << QList<int>{0, 32512, -32768, 0};
        QTest::newRow("24-bit") << wave(1, 1, 48000, 24, QByteArray::fromHex("ffff7f000080000100")) << 48000 << 1
                                << QList<int>{32767, -32768, 1};
        QTest::newRow("float: beyond full scale clips, NaN is silence")
            << wave(3, 1, 44100, 32, samples<float>({0.5f, 2.0f, -2.0f, std::nanf("")})) << 44100 << 1
            << QList<int>{16384, 32767, -32768, 0};
        QTest::newRow("eight channels keep their order")
            << wave(1, 8, 44100, 16, samples<I16>({1, 2, 3, 4, 5, 6, 7, 8})) << 44100 << 8
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
        QByteArray cut = wave(1, 1, 8000, 16, samples<I16>({7, 8, 9}));
        cut.replace(40, 4, samples<quint32>({400})); // the data chunk's size
        QTest::newRow("data shorter than its header says") << cut << 8000 << 1 << QList<int>{7, 8, 9};
        const int longest = PulseSoundService::kMaxSeconds * 8000;
        QTest::newRow("the longest sound allowed")
            << wave(1, 1, 8000, 16, silence(longest, 1)) << 8000 << 1 << QList<int>(longest, 0);
    }
    void decodesToInterleaved16Bit()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QList<int>, expected);
        QTemporaryDir dir;
        const auto pcm = PulseSoundService::decode(writeFile(dir, file));
        QVERIFY(pcm);
        QCOMPARE(pcm->rate, rate);
        QCOMPARE(pcm->channels, channels);
        QCOMPARE(static_cast<qsizetype>(pcm->samples.size()), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) // float conversion may round either way
            QVERIFY2(std::abs(pcm->samples[static_cast<std::size_t>(i)] - expected[i]) <= 1,
                     qPrintable(QString::number(i)));
    }

    void refusesUnplayableFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray pop = [] {
            QFile f(popPath());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("not a sound") << QByteArray("Popup blocked. ").repeated(100);
        QTest::newRow("truncated header") << pop.left(20);
        QTest::newRow("no frames") << wave(1, 1, 44100, 16, {});
        QTest::newRow("nine channels") << wave(1, 9, 44100, 16, silence(100, 9));
        QTest::newRow("rate too low") << wave(1, 1, 500, 16, silence(100, 1));
        QTest::newRow("rate too high") << wave(1, 1, 400000, 16, silence(100, 1));
        QTest::newRow("too long") << wave(1, 1, 8000, 16, silence(PulseSoundService::kMaxSeconds * 8000 + 1, 1));
    }
    void refusesUnplayableFiles()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = writeFile(dir, file);
        QVERIFY(!PulseSoundService::decode(path));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!PulseSoundService().playFile(path));
        QVERIFY(timer.elapsed() < kPromptMs);
    }

    void nonFilesFailAtOnce()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        PulseSoundService service;
        for (const QString& path : {QString(), dir.filePath(QStringLiteral("missing.wav")), dir.path(), fifo}) {
            auto played = std::async(std::launch::async, [&service, path] { return service.playFile(path); });
            if (played.wait_for(std::chrono::milliseconds(kPromptMs)) != std::future_status::ready) {
                if (path == fifo) { // lets a reader stuck in open() go on, so the test can end
                    QFile writer(fifo);
                    writer.open(QIODevice::WriteOnly);
                }
                QFAIL(qPrintable(QStringLiteral("playFile blocked on ") + path));
            }
            QVERIFY2(!played.get(), qPrintable(path));
        }
    }

    void noServerFailsAtOnce()
    {
        QTemporaryDir dir;
        const ScopedEnv server("PULSE_SERVER", QStringLiteral("unix:") + dir.filePath(QStringLiteral("none/native")));
        const std::unique_ptr<SoundService> service = createSoundService();
        QVERIFY(dynamic_cast<PulseSoundService*>(service.get()));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!service->playFile(popPath()));
        QVERIFY(timer.elapsed() < kPromptMs);
    }

    void noDeviceFailsAtOnce()
    {
        PulseServer server(false);
        if (!server.installed())
            QSKIP("pulseaudio is not installed");
        QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
        const ScopedEnv env("PULSE_SERVER", server.address());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!PulseSoundService().playFile(popPath()));
        QVERIFY(timer.elapsed() < kPromptMs);
    }

    void playsToTheEnd_data()
    {
        QTest::addColumn<QByteArray>("file"); // empty: the shipped pop
        QTest::addColumn<QString>("format");  // as the server logs the stream
        QTest::newRow("shipped pop") << QByteArray() << QStringLiteral("s16le 1ch 44100Hz");
        QTest::newRow("one second of stereo at 48 kHz")
            << wave(1, 2, 48000, 16, silence(48000, 2)) << QStringLiteral("s16le 2ch 48000Hz");
    }
    void playsToTheEnd()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, format);
        QTemporaryDir dir;
        const QString path = file.isEmpty() ? popPath() : writeFile(dir, file);
        const auto pcm = PulseSoundService::decode(path);
        QVERIFY(pcm);
        const auto lengthMs =
            static_cast<qint64>(1000.0 * static_cast<double>(pcm->samples.size()) / pcm->channels / pcm->rate);

        PulseServer server(true);
        if (!server.installed())
            QSKIP("pulseaudio is not installed");
        QVERIFY2(server.error().isEmpty(), qPrintable(server.error()));
        const ScopedEnv env("PULSE_SERVER", server.address());
        QElapsedTimer timer;
        timer.start();
        QVERIFY(PulseSoundService().playFile(path));
        const qint64 elapsed = timer.elapsed();
        qInfo("sound of %lld ms played in %lld ms", lengthMs, elapsed);
        QVERIFY2(elapsed >= lengthMs - 20, "returned before the sound could have ended");

        const QString log = server.log();
        const QRegularExpression stream(QStringLiteral("\"Popup blocked\" on null with sample \\w+ ") + format + ' ');
        QVERIFY2(log.contains(stream), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("application.name = \"Tarnwick\"")), qPrintable(log));
    }
};

QTEST_GUILESS_MAIN(TestSound)
#include "tst_sound.moc"
