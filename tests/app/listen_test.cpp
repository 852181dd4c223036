#include "app/app.h"
#include "support.h"

#include <gtest/gtest.h>

#include <sndfile.h>

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
        // The low B of a 7-string guitar, of a 5-string bass: no string of a 6-string, a 4-string.
        {"guitar", "61.7354", "E2\t-500.00\tG6"},
        {"bass", "41.2034", "E1\t+0.00\tB4"},
        {"bass", "30.8677", "E1\t-500.00\tB4"},
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
        EXPECT_EQ(ReadingLineOf(settings, 1.0, hz),
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
    EXPECT_EQ(ReadingLineOf(settings, 0.5, 311.25), "0.500\t311.250\tE4\t+0.00\tG1\n");
    settings.instrument = nullptr;
    EXPECT_EQ(ReadingLineOf(settings, 0.5, 311.25), "0.500\t311.250\tE4\t+0.00\n");
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
         "--instrument needs one of: guitar, bass, violin, viola, cello, mandolin, ukulele, "
         "banjo\n"},
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
        // An example that would be refused in turn is no help.
        {{"--listen", "0"},
         "--listen 0: the source comes first, then the seconds (above 0): --listen default 10 "
         "listens to the default device for 10 seconds\n"},
        {{"--listen", "a.wav", "--listen", "b.wav"},
         "--listen is given twice: it reads one source at a time\n"},
        {{"--listen=a.wav", "--listen=b.wav"},
         "--listen is given twice: it reads one source at a time\n"},
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

// --strobe and --tolerance shape the tuner, drawn only for a device at a terminal: where the
// readings are lines, a word says that they did nothing.
TEST(Listen, TunerOptionsWithoutTheTunerSaySo) {
    ScratchDir dir;
    ASSERT_EQ(RunOndelis({"-o", "a3.wav", "a3", "1"}).status, 0);
    const std::string shapes = " shapes the tuner, which is drawn for a capture device at a "
                               "terminal; these readings are ";
    const struct {
        std::vector<std::string> args;
        std::string said;
    } rows[] = {
        {{"--strobe", "--listen", "a3.wav"}, "--strobe" + shapes + "lines\n"},
        {{"--listen", "a3.wav", "--tolerance", "3"}, "--tolerance" + shapes + "lines\n"},
        {{"--tolerance=3", "--strobe", "--summary", "--listen", "a3.wav"},
         "--strobe" + shapes + "summed up note by note\n"},
        {{"--listen", "a3.wav"}, ""},
        {{"--summary", "--listen", "a3.wav"}, ""},
    };
    for (const auto& row : rows) {
        const RunResult run = RunOndelis(row.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, row.said) << row.args[0];
        EXPECT_TRUE(Has(run.out, "\tA3\t+0.00")) << run.out;
    }
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

// `seconds` of a 110 Hz tone at half scale written by libsndfile as `format`, at `rate`; false
// when this libsndfile cannot write that format.
bool WriteTone(const std::string& name, int format, double seconds, int rate = 44100) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    SNDFILE* file = sf_open(name.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    std::vector<float> samples(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] =
            static_cast<float>(0.5 * std::sin(2 * M_PI * 110 * static_cast<double>(i) / rate));
    }
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
    return true;
}

TEST(ListenFiles, AdpcmAndAnOffByteRateAreNoCut) {
    ScratchDir dir;
    ASSERT_TRUE(WriteTone("ima.wav", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 1));
    ASSERT_TRUE(WriteTone("ms.wav", SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 1));
    // A PCM WAV whose byte-rate field is 2 too high, as some writers leave it.
    std::string samples;
    for (int i = 0; i < 44100; ++i) {
        samples += Le(static_cast<uint16_t>(static_cast<int16_t>(
                          std::lround(16000 * std::sin(2 * M_PI * 110 * i / 44100)))),
                      2);
    }
    std::string off = Wav(1, 44100, 16, 1, samples);
    off.replace(28, 4, Le(44100 * 2 + 2, 4));
    WriteFile("byte_rate.wav", off);
    for (const char* name : {"ima.wav", "ms.wav", "byte_rate.wav"}) {
        const RunResult run = RunOndelis({"--listen", name});
        EXPECT_EQ(run.status, 0) << name << run.err;
        EXPECT_EQ(run.err, "") << name;
        const std::vector<Line> lines = Lines(run.out);
        EXPECT_GT(lines.size(), 20u) << name;
        for (const Line& line : lines) { // ADPCM's coding error moves them a little
            EXPECT_EQ(line.note, "A2") << name;
            EXPECT_LT(std::abs(std::strtod(line.cents.c_str(), nullptr)), 0.2) << name;
        }
    }
}

TEST(ListenFiles, BytesThatOnlyLookLikeMpegAreRefusedQuietly) {
    ScratchDir dir;
    // Raw 16-bit samples whose first bytes happen to make an MPEG frame's sync word.
    std::string raw = "\xff\xfb";
    for (int i = 0; i < 44100; ++i) {
        raw += Le(static_cast<uint16_t>(static_cast<int16_t>(
                      std::lround(16000 * std::sin(2 * M_PI * 110 * i / 44100)))),
                  2);
    }
    WriteFile("take.raw", raw);
    // A whole valid frame header (MPEG-1 layer III, 128 kbit/s, 44100 Hz), then bytes from a
    // fixed generator: no second header where its frame ends.
    std::string header = "\xff\xfb\x90";
    header += '\0';
    uint32_t state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245u + 12345u;
        header += static_cast<char>(state >> 16 & 0xff);
    }
    WriteFile("header.raw", header);
    for (const std::string name : {"take.raw", "header.raw"}) {
        const RunResult run = RunOndelis({"--listen", name});
        EXPECT_EQ(run.status, 1) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, name + ": cannot listen to it: it is not a sound file it can read\n");
        // Whether redirected from the file or through a pipe, where one frame's header is no
        // MP3: the next frame would start where it ends, and no header is there.
        for (const std::string& script :
             {"\"$ONDELIS\" --listen - < " + name, "cat " + name + " | \"$ONDELIS\" --listen -"}) {
            const RunResult piped = RunShell(script, 20);
            EXPECT_EQ(piped.status, 1) << script;
            EXPECT_EQ(piped.err,
                      "standard input: cannot listen to it: it is not a sound file it can read\n")
                << script;
        }
    }
}

TEST(ListenFiles, WhatAPipeCannotCarryIsRefusedPlainly) {
    ScratchDir dir;
    const struct {
        const char* name;
        int format;
        const char* shown;
    } rows[] = {
        {"take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC"},
        {"take.caf", SF_FORMAT_CAF | SF_FORMAT_PCM_16, "CAF"},
        {"take.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "MP3"},
    };
    for (const auto& row : rows) {
        if (!WriteTone(row.name, row.format, 1)) {
            continue; // a libsndfile without that format
        }
        const std::string ext = std::string(row.name).substr(5);
        const RunResult piped =
            RunShell(std::string("cat ") + row.name + " | \"$ONDELIS\" --listen -", 20);
        EXPECT_EQ(piped.status, 1) << row.name;
        EXPECT_EQ(piped.out, "") << row.name;
        EXPECT_EQ(piped.err, std::string("standard input: cannot listen to it: ") + row.shown +
                                 " is read from a file, not through a pipe: give the file's "
                                 "name, or standard input from the file itself (ondelis "
                                 "--listen - < take." +
                                 ext + ")\n");
        const RunResult redirected =
            RunShell(std::string("\"$ONDELIS\" --listen - < ") + row.name, 20);
        EXPECT_EQ(redirected.status, 0) << row.name << redirected.err;
        EXPECT_GT(Lines(redirected.out).size(), 20u) << row.name;
    }
}

TEST(ListenFiles, AFileCutShortEndsWithAMessageWheneverItIsFound) {
    ScratchDir dir;
    const struct {
        const char* name;
        int format;
        int rate;
        bool through_a_pipe;
    } rows[] = {
        {"cut.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, true},
        {"cut.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, 44100, true},
        {"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, true},
        {"cut.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 44100, true},
        {"cut.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100, false},
        {"cut.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000, false},
        {"cut.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100, false},
    };
    for (const auto& row : rows) {
        if (!WriteTone(row.name, row.format, 10, row.rate)) {
            continue;
        }
        const std::string whole = ReadBytes(row.name);
        WriteFile(row.name, whole.substr(0, whole.size() / 2));
        const std::string why = ": cannot listen to it: it ends before its header says it does "
                                "(cut short)\n";
        const RunResult file = RunOndelis({"--listen", row.name});
        EXPECT_EQ(file.status, 1) << row.name;
        EXPECT_EQ(file.out, "") << row.name; // checked whole before a reading
        EXPECT_EQ(file.err, row.name + why) << row.name;
        if (row.through_a_pipe) {
            const RunResult piped =
                RunShell(std::string("cat ") + row.name + " | \"$ONDELIS\" --listen -", 20);
            EXPECT_EQ(piped.status, 1) << row.name;
            EXPECT_GT(Lines(piped.out).size(), 20u) << row.name; // found at its end
            EXPECT_EQ(piped.err, "standard input" + why) << row.name;
        }
    }
}

// libsndfile reads an RF64 file through a pipe without its first 8 bytes of samples: a whole
// one is whole still, and one whose frames those bytes do not divide is refused, not read as
// noise.
TEST(ListenFiles, AnRf64FileThroughAPipeIsWhole) {
    ScratchDir dir;
    const struct {
        const char* name;
        int format;
    } rows[] = {
        {"16.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_16},
        {"32.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_32},
        {"float.rf64", SF_FORMAT_RF64 | SF_FORMAT_FLOAT},
        {"double.rf64", SF_FORMAT_RF64 | SF_FORMAT_DOUBLE},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(WriteTone(row.name, row.format, 1)) << row.name;
        const RunResult piped =
            RunShell(std::string("cat ") + row.name + " | \"$ONDELIS\" --listen -", 20);
        EXPECT_EQ(piped.status, 0) << row.name;
        EXPECT_EQ(piped.err, "") << row.name;
        ExpectSteady(Lines(piped.out), 0.25, 1.0, "A2", "+0.00");
    }
    ASSERT_TRUE(WriteTone("24.rf64", SF_FORMAT_RF64 | SF_FORMAT_PCM_24, 1));
    const RunResult piped = RunShell("cat 24.rf64 | \"$ONDELIS\" --listen -", 20);
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "standard input: cannot listen to it: RF64 is read from a file, not "
                         "through a pipe: give the file's name, or standard input from the file "
                         "itself (ondelis --listen - < take.rf64)\n");
    const RunResult redirected = RunShell("\"$ONDELIS\" --listen - < 24.rf64", 20);
    EXPECT_EQ(redirected.status, 0) << redirected.err;
    ExpectSteady(Lines(redirected.out), 0.25, 1.0, "A2", "+0.00");
}

// A whole Ogg file of a second or two, as SoX writes it too, ends with a page that carries
// the end-of-stream flag, though libsndfile's log says it ends without one; cut within its
// last page, or before it, it is cut short.
TEST(ListenFiles, ShortOggFilesAreWholeUnlessCut) {
    ScratchDir dir;
    std::vector<std::string> whole;
    const struct {
        const char* name;
        int format;
        double seconds;
        int rate;
    } rows[] = {
        {"one.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1, 44100},
        {"one_and_a_half.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 1.5, 44100},
        {"two.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 48000},
        {"one_and_a_half.opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 1.5, 48000},
    };
    for (const auto& row : rows) {
        if (WriteTone(row.name, row.format, row.seconds, row.rate)) {
            whole.emplace_back(row.name);
        }
    }
    if (RunShell("command -v sox >/dev/null && sox -n -r 44100 -c 1 sox.ogg synth 1.5 sine 110", 20)
            .status == 0) {
        whole.emplace_back("sox.ogg");
    }
    for (const std::string& name : whole) {
        const RunResult run = RunOndelis({"--listen", name});
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.err, "") << name;
        const std::vector<Line> lines = Lines(run.out);
        EXPECT_GT(lines.size(), 20u) << name;
        for (const Line& line : lines) {
            EXPECT_EQ(line.note, "A2") << name << " at " << line.time;
        }
    }
    for (const std::string& name : whole) {
        const std::string bytes = ReadBytes(name);
        const size_t last_page = bytes.rfind("OggS");
        ASSERT_NE(last_page, std::string::npos) << name;
        for (const std::string& cut :
             {bytes.substr(0, last_page), bytes.substr(0, bytes.size() - 9)}) {
            WriteFile("cut_" + name, cut);
            const RunResult run = RunOndelis({"--listen", "cut_" + name});
            EXPECT_EQ(run.status, 1) << name << " of " << cut.size() << " bytes";
            EXPECT_EQ(run.out, "") << name;
            EXPECT_EQ(run.err, "cut_" + name +
                                   ": cannot listen to it: it ends before its header says it "
                                   "does (cut short)\n")
                << name << " of " << cut.size() << " bytes";
        }
    }
}

TEST(ListenFiles, NoPitchHeardSaysWhyAndChannelPicksOne) {
    ScratchDir dir;
    std::string cancelling, right_only;
    for (int i = 0; i < 44100; ++i) {
        const auto v =
            static_cast<int16_t>(std::lround(16000 * std::sin(2 * M_PI * 110 * i / 44100)));
        cancelling += Le(static_cast<uint16_t>(v), 2) + Le(static_cast<uint16_t>(-v), 2);
        right_only += Le(0, 2) + Le(static_cast<uint16_t>(v), 2);
    }
    WriteFile("cancel.wav", Wav(2, 44100, 16, 1, cancelling));
    WriteFile("right.wav", Wav(2, 44100, 16, 1, right_only));
    WriteFile("silent.wav", Wav(1, 44100, 16, 1, std::string(88200, '\0')));
    const RunResult cancel = RunOndelis({"--listen", "cancel.wav"});
    EXPECT_EQ(cancel.status, 0);
    EXPECT_EQ(cancel.out, "");
    EXPECT_EQ(cancel.err, "cancel.wav: no pitch heard: its channels cancel each other out where "
                          "they are mixed (one is the other upside down): --channel 1 listens to "
                          "the first alone\n");
    const RunResult silent = RunOndelis({"--listen", "silent.wav"});
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.err, "silent.wav: no pitch heard: it is silent\n");
    for (const auto& [args, channel] :
         {std::pair{std::vector<std::string>{"--channel", "1", "--listen", "cancel.wav"}, 1},
          std::pair{std::vector<std::string>{"--listen", "right.wav", "--channel=2"}, 2}}) {
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << channel << run.err;
        ExpectSteady(Lines(run.out), 0.25, 1.0, "A2", "+0.00");
    }
    const RunResult none = RunOndelis({"--listen", "right.wav", "--channel", "3"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "right.wav: cannot listen to it: it has 2 channels, so --channel 3 is "
                        "none of them\n");
    const RunResult refused = RunOndelis({"--channel", "0", "--listen", "right.wav"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "The channel to listen to (--channel) is a whole number from 1 (the "
                           "first) to 64, not '0'\n");
    const RunResult alone = RunOndelis({"--channel", "2", "440"});
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.err, "--channel picks the channel that --listen hears: give --listen too\n");
}

// 16-bit mono samples at 44100 Hz: `seconds` of a sine of `hz` at half scale, or of noise,
// white or brown, from a fixed generator.
enum class Sound { kSine, kWhiteNoise, kBrownNoise, kTritone };
std::string Samples(Sound sound, double hz, double seconds) {
    std::string data;
    uint32_t state = 12345;
    double brown = 0;
    for (int i = 0; i < static_cast<int>(seconds * 44100); ++i) {
        state = state * 1103515245u + 12345u;
        const double white = static_cast<double>(state >> 8) / (1u << 24) - 0.5;
        brown = 0.999 * brown + 0.05 * white;
        const double sine = 0.5 * std::sin(2 * M_PI * hz * i / 44100);
        // The tritone above as loud: two notes at once, neither the other's partial.
        const double tritone = 0.5 * (sine + 0.5 * std::sin(2 * M_PI * hz * M_SQRT2 * i / 44100));
        const double x = sound == Sound::kSine         ? sine
                         : sound == Sound::kTritone    ? tritone
                         : sound == Sound::kBrownNoise ? brown
                                                       : white;
        data += Le(static_cast<uint16_t>(static_cast<int16_t>(std::lround(32767 * x))), 2);
    }
    return data;
}

// What --listen says when it heard no pitch: what is wrong with the sound, or with the time
// asked, not "silent" for what has no sound or was not heard long enough, nor noise for a
// tone that the listener does not hear.
TEST(ListenFiles, NoPitchHeardSaysWhatIsReallyWrong) {
    ScratchDir dir;
    const std::string too_short = "the time asked is too short for a reading, which needs 0.034 s "
                                  "at least";
    const std::string outside = " Hz, lies outside what the listener hears, 25 to 5000 Hz";
    const std::string no_steady =
        "no steady pitch sounds in it (noise, two notes at once, or too short a note)";
    const struct {
        const char* name;
        std::string data;
        std::vector<std::string> seconds;
        std::string why;
    } rows[] = {
        {"no_frames.wav", "", {}, "it holds no sound (no frames at all)"},
        {"no_frames_asked.wav", "", {"1e-9"}, "it holds no sound (no frames at all)"},
        {"a4.wav", Samples(Sound::kSine, 440, 1), {"1e-9"}, too_short},
        {"a4_a_frame_short.wav", Samples(Sound::kSine, 440, 1), {"0.033"}, too_short},
        {"24hz.wav", Samples(Sound::kSine, 24, 1), {}, "its pitch, 24.0" + outside},
        {"5100hz.wav", Samples(Sound::kSine, 5100, 1), {}, "its pitch, 5100.0" + outside},
        {"white.wav", Samples(Sound::kWhiteNoise, 0, 1), {}, no_steady},
        {"brown.wav", Samples(Sound::kBrownNoise, 0, 1), {}, no_steady},
        {"short_note.wav", Samples(Sound::kSine, 440, 0.03), {}, no_steady},
        {"two_notes.wav", Samples(Sound::kTritone, 220, 1), {}, no_steady},
        {"two_notes_summed_up.wav", Samples(Sound::kTritone, 220, 1), {"--summary"}, no_steady},
    };
    for (const auto& row : rows) {
        WriteFile(row.name, Wav(1, 44100, 16, 1, row.data));
        std::vector<std::string> args = {"--listen", row.name};
        args.insert(args.end(), row.seconds.begin(), row.seconds.end());
        const RunResult run = RunOndelis(args);
        EXPECT_EQ(run.status, 0) << row.name;
        EXPECT_EQ(run.out, "") << row.name;
        EXPECT_EQ(run.err, std::string(row.name) + ": no pitch heard: " + row.why + "\n");
    }
    // The time it names gives the first reading.
    const RunResult enough = RunOndelis({"--listen", "a4.wav", "0.034"});
    EXPECT_EQ(enough.status, 0);
    EXPECT_EQ(enough.err, "");
    EXPECT_EQ(Lines(enough.out).size(), 1u) << enough.out;
}

// Only a write that fails is a failure: a reader that leaves once it has the line it wanted
// took it whole. Whether it left before the program's last look at standard output is a
// race, which a false "Broken pipe" lost in most runs.
TEST(ListenFiles, AReaderThatLeavesAfterTheLineItWantedIsNoFailure) {
    ScratchDir dir;
    ASSERT_EQ(RunOndelis({"-o", "d2.wav", "D2", "1"}).status, 0);
    for (int run = 0; run < 20; ++run) {
        const RunResult piped =
            RunShell("{ \"$ONDELIS\" --summary --listen d2.wav; echo $? >status; } | head -1 "
                     ">line; exit $(cat status)");
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(piped.err, "") << run;
        EXPECT_TRUE(Has(ReadBytes("line"), "\tD2\t")) << ReadBytes("line");
    }
}

TEST(ListenFiles, ARateBeyondAnIntIsNamed) {
    ScratchDir dir;
    WriteFile("fast.wav", Wav(1, 4000000000u, 16, 1, std::string(400, '\0')));
    const RunResult run = RunOndelis({"--listen", "fast.wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "fast.wav: cannot listen to it: its sample rate of 4000000000 Hz is not "
                       "one from 1000 to 768000\n");
}

} // namespace
