#include "app/app.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Line {
    double time = 0;
    double hz = 0;
    std::string note, cents, string;
};

// The readings --listen printed, one per line, each checked for its fields.
std::vector<Line> Lines(const std::string& out) {
    std::vector<Line> lines;
    std::istringstream in(out);
    for (std::string text; std::getline(in, text);) {
        std::istringstream fields(text);
        Line line;
        std::string time, hz;
        std::getline(fields, time, '\t');
        std::getline(fields, hz, '\t');
        std::getline(fields, line.note, '\t');
        std::getline(fields, line.cents, '\t');
        std::getline(fields, line.string, '\t');
        line.time = std::strtod(time.c_str(), nullptr);
        line.hz = std::strtod(hz.c_str(), nullptr);
        lines.push_back(line);
    }
    return lines;
}

// Every reading from `after` seconds on shows `note` and `cents` (and `string`), and there
// are at least 20 of them a second up to `until`.
void ExpectSteady(const std::vector<Line>& lines, double after, double until,
                  const std::string& note, const std::string& cents,
                  const std::string& string = "") {
    size_t count = 0;
    for (const Line& line : lines) {
        if (line.time >= after) {
            ++count;
            EXPECT_EQ(line.note + " " + line.cents + " " + line.string,
                      note + " " + cents + " " + string)
                << "at " << line.time;
        }
    }
    EXPECT_GE(static_cast<double>(count), 20 * (until - after)) << note;
}

TEST(Listen, OndelisOwnToneReadsBackInTuneThroughAPipe) {
    const RunResult run = RunOndelisPipe({"-o", "-", "G6", "2"}, {"--listen", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<Line> lines = Lines(run.out);
    ExpectSteady(lines, 0.25, 2.0, "E2", "+0.00");
    for (const Line& line : lines) {
        if (line.time >= 0.25) {
            EXPECT_EQ(std::to_string(line.hz).substr(0, 6), "82.407") << line.time;
        }
    }
    // The first within 5 cents, by 100 ms.
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines.front().time, 0.1);
    EXPECT_LT(std::abs(1200 * std::log2(lines.front().hz / 82.4069)), 5.0);
}

TEST(Listen, InTuneInEveryTuningTheToneWasPlayedIn) {
    const std::string scale = std::string(ONDELIS_TEST_DATA) + "/just.scl";
    const struct {
        std::vector<std::string> options;
        const char* pitch;
        const char* note;
    } table[] = {
        {{"--temperament", "werckmeister3"}, "G6", "E2"},
        {{"--temperament", "werckmeister3", "--a4", "415"}, "e", "E5"},
        {{"--temperament", "kirnberger3", "--root", "d"}, "cello4", "C2"},
        {{"--temperament", "meantone"}, "g#", "G#5"},
        {{"--scale", scale}, "G5", "A2"},
        {{"--scale", scale, "--root", "f#"}, "c#", "C#5"},
        {{"--a4", "442"}, "violin1", "E5"},
    };
    for (const auto& row : table) {
        std::vector<std::string> play = row.options, listen = row.options;
        play.insert(play.end(), {"-o", "-", row.pitch, "1"});
        listen.insert(listen.end(), {"--listen", "-"});
        const RunResult run = RunOndelisPipe(play, listen);
        EXPECT_EQ(run.status, 0) << row.pitch << run.err;
        ExpectSteady(Lines(run.out), 0.25, 1.0, row.note, "+0.00");
    }
}

TEST(Listen, AnEqualTemperedToneReadInWerckmeisterIII) {
    // E is a pure fifth above A in Werckmeister III, 1.955 cents above equal temperament's.
    const RunResult run =
        RunOndelisPipe({"-o", "-", "e", "1"}, {"--temperament", "werckmeister3", "--listen", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    for (const Line& line : Lines(run.out)) {
        if (line.time >= 0.25) {
            EXPECT_TRUE(line.cents == "-1.95" || line.cents == "-1.96") << line.cents;
        }
    }
}

TEST(Listen, TheNearestOpenStringOfAnInstrument) {
    // Published pitches at A = 440: D2 73.416, E1 41.203, G3 196.00, G4 392.00, C2 65.406.
    const struct {
        const char* instrument;
        const char* hz;
        const char* reading;
    } table[] = {
        {"guitar", "73.4162", "E2\t-200.00\tG6"},
        {"guitar", "82.4069", "E2\t+0.00\tG6"},
        {"guitar", "320", "E4\t-51.32\tG1"},
        {"guitar", "61.7354", "B1\t+0.00\tG7"},
        {"bass", "41.2034", "E1\t+0.00\tB4"},
        {"bass", "30.8677", "B0\t+0.00\tB5"},
        {"violin", "195.9977", "G3\t+0.00\tviolin4"},
        {"violin", "660", "E5\t+1.96\tviolin1"},
        {"viola", "130.8128", "C3\t+0.00\tviola4"},
        {"cello", "65.4064", "C2\t+0.00\tcello4"},
        {"mandolin", "440", "A4\t+0.00\tmandolin2"},
        {"ukulele", "391.9954", "G4\t+0.00\tukulele4"},
        {"ukulele", "261.6256", "C4\t+0.00\tukulele3"},
        {"banjo", "391.9954", "G4\t+0.00\tbanjo5"},
        {"banjo", "146.8324", "D3\t+0.00\tbanjo4"},
    };
    for (const auto& row : table) {
        ToneSettings settings;
        ASSERT_TRUE(SetInstrument(settings, row.instrument));
        const double hz = std::strtod(row.hz, nullptr);
        // The line shows the frequency to three decimals.
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.3f", hz);
        EXPECT_EQ(ReadingLine(settings, 1.0, hz),
                  std::string("1.000\t") + shown + "\t" + row.reading + "\n")
            << row.instrument << " " << row.hz;
    }
}

TEST(Listen, StringsFollowTheTuning) {
    ToneSettings settings;
    ASSERT_TRUE(SetInstrument(settings, "guitar"));
    ASSERT_TRUE(SetTemperament(settings, "werckmeister3"));
    settings.a4 = 415;
    // E of Werckmeister III at A = 415: 311.25 Hz is E4, the guitar's high E string.
    EXPECT_EQ(ReadingLine(settings, 0.5, 311.25), "0.500\t311.250\tE4\t+0.00\tG1\n");
    settings.instrument = nullptr;
    EXPECT_EQ(ReadingLine(settings, 0.5, 311.25), "0.500\t311.250\tE4\t+0.00\n");
}

void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
}

std::string Le(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return out;
}

// A WAV file of `data` with the header's fields as given.
std::string Wav(int channels, uint32_t rate, int bits, int format, const std::string& data) {
    const int block = channels * bits / 8;
    const std::string fmt = Le(format, 2) + Le(channels, 2) + Le(rate, 4) +
                            Le(rate * static_cast<uint32_t>(block), 4) + Le(block, 2) + Le(bits, 2);
    const std::string body =
        "WAVEfmt " + Le(16, 4) + fmt + "data" + Le(static_cast<uint32_t>(data.size()), 4) + data;
    return "RIFF" + Le(static_cast<uint32_t>(body.size()), 4) + body;
}

std::string Floats(const std::vector<float>& samples) {
    std::string out;
    for (float x : samples) {
        uint32_t bits = 0;
        std::memcpy(&bits, &x, 4);
        out += Le(bits, 4);
    }
    return out;
}

std::vector<float> FloatSine(size_t count) {
    std::vector<float> samples(count);
    for (size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>(0.3 * std::sin(0.06 * static_cast<double>(i)));
    }
    return samples;
}

TEST(Listen, RefusesWhatIsNotSoundItCanRead) {
    ScratchDir dir;
    const std::string tone = RunOndelis({"-o", "-", "440", "1"}).out;
    ASSERT_GT(tone.size(), 100000u);
    WriteFile("cut.wav", tone.substr(0, 30000));
    WriteFile("text.wav", "RIFF? no, a text file\n");
    WriteFile("empty.wav", "");
    WriteFile("no_channels.wav", Wav(0, 44100, 16, 1, std::string(400, '\0')));
    WriteFile("slow.wav", Wav(1, 1, 16, 1, std::string(400, '\0')));
    WriteFile("fast.wav", Wav(1, 4000000, 16, 1, std::string(400, '\0')));
    std::vector<float> with_nan = FloatSine(44100), with_inf = FloatSine(44100);
    with_nan[30000] = std::nanf("");
    with_inf[40000] = HUGE_VALF;
    WriteFile("nan.wav", Wav(1, 44100, 32, 3, Floats(with_nan)));
    WriteFile("inf.wav", Wav(1, 44100, 32, 3, Floats(with_inf)));
    std::filesystem::create_directory("folder");
    const struct {
        const char* source;
        const char* why;
    } table[] = {
        {"cut.wav", "cut.wav: cannot listen to it: it ends before its header says it does "
                    "(cut short)\n"},
        {"text.wav", "text.wav: cannot listen to it: "},
        {"empty.wav", "empty.wav: cannot listen to it: "},
        {"no_channels.wav", "no_channels.wav: cannot listen to it: "},
        {"slow.wav", "slow.wav: cannot listen to it: its sample rate of 1 Hz is not one from 1000 "
                     "to 768000\n"},
        {"fast.wav", "fast.wav: cannot listen to it: "},
        {"nan.wav", "nan.wav: cannot listen to it: it holds a sample that is not a finite number "
                    "(NaN or infinity)\n"},
        {"inf.wav", "inf.wav: cannot listen to it: it holds a sample that is not a finite number "
                    "(NaN or infinity)\n"},
        {"folder", "folder: cannot listen to it: it is a directory\n"},
        {"/dev/zero", "/dev/zero: cannot listen to it: "},
    };
    for (const auto& row : table) {
        const RunResult run = RunOndelis({"--listen", row.source}, "", 20);
        EXPECT_EQ(run.status, 1) << row.source;
        EXPECT_EQ(run.out, "") << row.source;
        EXPECT_EQ(run.err.substr(0, std::strlen(row.why)), row.why) << row.source;
        EXPECT_EQ(Count(run.err, "\n"), 1u) << row.source << run.err;
    }
    // A source that is no file names a capture device, refused as playback refuses a device.
    const RunResult device = RunOndelis({"--listen", "missing"}, "", 20);
    EXPECT_EQ(device.status, 1);
    EXPECT_EQ(device.out, "");
    EXPECT_TRUE(Has(device.err, "unable to open pcm device: No such file or directory\n"
                                "Cannot listen to 'missing': 'arecord -L' lists"))
        << device.err;
    // Unless it looks like a file: a misspelt name is said to be no file, not a device.
    for (const char* name : {"missing.wav", "take.wva", "takes/take", "./take"}) {
        const RunResult file = RunOndelis({"--listen", name}, "", 20);
        EXPECT_EQ(file.status, 1) << name;
        EXPECT_EQ(file.err, std::string(name) + ": cannot listen to it: there is no such file\n");
    }
    // The good part of a file with NaN is readable: the refusal is about the file as a whole.
    WriteFile("good.wav", Wav(1, 44100, 32, 3, Floats(FloatSine(44100))));
    EXPECT_EQ(RunOndelis({"--listen", "good.wav"}).status, 0);
}

TEST(Listen, RefusesAStreamOfZerosOnStandardInput) {
    const RunResult run = RunOndelis({"--listen", "-"}, std::string(1 << 20, '\0'), 20);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(Has(run.err, "standard input: cannot listen to it: ")) << run.err;
}

TEST(Listen, RefusesWrongArguments) {
    const struct {
        std::vector<std::string> args;
        const char* why;
    } table[] = {
        {{"--listen", ""},
         "--listen needs a sound file, - for standard input, or a capture "
         "device\n"},
        {{"--listen="}, "--listen needs a sound file, - for standard input, or a capture device\n"},
        {{"--listen", "-", "0"},
         "--listen reads as many seconds as the number after the source says, above 0, not "
         "'0'\n"},
        {{"--listen", "-", "soon"},
         "--listen reads as many seconds as the number after the source says, above 0, not "
         "'soon'\n"},
        {{"--listen", "-", "1", "2"},
         "--listen takes its source and at most a number of seconds, not '2'\n"},
        {{"--instrument", "guitar"},
         "--instrument names the strings of --listen's readings: give --listen too\n"},
        {{"--instrument", "guitar", "G6"},
         "--instrument names the strings of --listen's readings: give --listen too\n"},
        {{"--instrument", "harp", "--listen", "-"},
         "Unknown instrument: 'harp'; the instruments are guitar, bass, violin, viola, cello, "
         "mandolin, ukulele, banjo\n"},
        {{"--instrument"},
         "--instrument needs guitar, bass, violin, viola, cello, mandolin, ukulele or banjo\n"},
        {{"-o", "x.wav", "--listen", "-"},
         "-o writes a tone; --listen reads one: give one of them\n"},
        {{"--listen", "-", "-o", "x.wav"},
         "-o writes a tone; --listen reads one: give one of them\n"},
        {{"--harmonics", "8", "--listen", "-"},
         "--harmonics shapes a tone; --listen reads one: give one of them\n"},
        {{"--listen", "-", "--harmonics=8"},
         "--harmonics shapes a tone; --listen reads one: give one of them\n"},
        {{"--rate", "8000", "--listen", "-"},
         "--rate is the rate of a tone or of a capture device; a sound file is read at its "
         "own: leave --rate out\n"},
        {{"--listen", "-", "--instrument", "harp"},
         "Unknown instrument: 'harp'; the instruments are guitar, bass, violin, viola, cello, "
         "mandolin, ukulele, banjo\n"},
        {{"--listen", "-", "--bogus"},
         "Unknown option: '--bogus' ('ondelis --help' lists the options)\n"},
        {{"--listen", "10"},
         "--listen 10: the source comes first, then the seconds: --listen default 10 listens "
         "to the default device for 10 seconds\n"},
    };
    for (const auto& row : table) {
        const RunResult run = RunOndelis(row.args, "", 20);
        EXPECT_EQ(run.status, 1) << row.why;
        EXPECT_EQ(run.out, "") << row.why;
        EXPECT_EQ(run.err, row.why);
    }
}

TEST(Listen, SecondsStopTheReadingAndChannelsAreMixed) {
    ScratchDir dir;
    // A stereo file whose left channel holds a tone and the right one silence: mixed, the tone
    // at half its level, still in tune.
    std::string stereo;
    for (size_t i = 0; i < 44100 * 2; ++i) {
        const double x =
            0.5 * std::sin(2 * 3.141592653589793 * 110 * static_cast<double>(i) / 44100);
        stereo +=
            Le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(x * 32767))), 2) + Le(0, 2);
    }
    WriteFile("stereo.wav", Wav(2, 44100, 16, 1, stereo));
    const RunResult whole = RunOndelis({"--listen", "stereo.wav"});
    EXPECT_EQ(whole.status, 0) << whole.err;
    ExpectSteady(Lines(whole.out), 0.25, 2.0, "A2", "+0.00");
    const RunResult half = RunOndelis({"--listen", "stereo.wav", "0.5"});
    EXPECT_EQ(half.status, 0) << half.err;
    const std::vector<Line> lines = Lines(half.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines.back().time, 0.5);
    EXPECT_GT(lines.back().time, 0.45);
}

TEST(Listen, SilenceGivesNoLine) {
    const RunResult run =
        RunOndelisPipe({"-o", "-", "440", "1", "default", "0"}, {"--listen", "-"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(Listen, AFileReadIntoAFailingStandardOutputSaysWhy) {
    ScratchDir dir;
    ASSERT_EQ(RunOndelis({"-o", "take.wav", "440", "1"}).status, 0);
    for (const auto& [redirect, why] : {std::pair{">/dev/full", "No space left on device"},
                                        std::pair{">&-", "Bad file descriptor"}}) {
        const RunResult run =
            RunShell(std::string("\"$ONDELIS\" --listen take.wav ") + redirect, 20);
        EXPECT_EQ(run.status, 1) << redirect;
        EXPECT_EQ(run.err,
                  std::string("Cannot write the readings to standard output: ") + why + "\n")
            << redirect;
    }
}

TEST(Listen, OptionsAfterTheSourceAreTakenToo) {
    ScratchDir dir;
    ASSERT_EQ(RunOndelis({"-o", "take.wav", "G6", "1"}).status, 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--listen", "take.wav", "--instrument", "guitar"},
          {"--listen", "take.wav", "1", "--instrument=guitar"},
          {"--instrument", "guitar", "--listen", "take.wav"},
          {"--listen", "--instrument", "guitar", "take.wav"}}) {
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << args[2] << run.err;
        ExpectSteady(Lines(run.out), 0.25, 1.0, "E2", "+0.00", "G6");
    }
    // After "--", a word is positional whatever it looks like.
    const RunResult ended = RunOndelis({"--listen", "take.wav", "--", "--instrument"});
    EXPECT_EQ(ended.status, 1);
    EXPECT_TRUE(Has(ended.err, "not '--instrument'")) << ended.err;
}

} // namespace
