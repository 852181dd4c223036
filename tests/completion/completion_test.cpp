// Bash completion as somebody at a keyboard gets it: an interactive bash on a terminal with
// bash-completion and completion/ondelis.bash loaded. Readline's insert-completions (M-*)
// puts every offered word on the line, and `ondelis` there is a shell function that prints
// its arguments, so Enter shows exactly what was offered.
#include "app/app.h"
#include "listen/listener.h"
#include "support.h"
#include "synth/synth.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const kBashCompletion = "/usr/share/bash-completion/bash_completion";
const std::string kInsertAll = "\x1b*";

// What `ondelis` printed for the line `keys` typed and Enter, "<arg><arg>...".
std::string Arguments(Terminal& terminal, const std::string& keys) {
    const size_t from = terminal.screen.size();
    Type(terminal, keys + "\n");
    if (!WaitFor(terminal, "<ARGS>", 10, from)) {
        return "(no answer) " + terminal.screen.substr(from);
    }
    const size_t start = terminal.screen.find("<ARGS>", from) + 6;
    WaitFor(terminal, "\r\n", 10, start);
    return terminal.screen.substr(start, terminal.screen.find("\r\n", start) - start);
}

class Completion : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kBashCompletion, R_OK) != 0) {
            GTEST_SKIP() << "bash-completion is not installed (" << kBashCompletion << ")";
        }
        std::ofstream(dir_.path() / "rc")
            << "source " << kBashCompletion << "\nsource " << ONDELIS_COMPLETION << "\n"
            << "ondelis() { printf '<%s>' ARGS \"$@\"; echo; }\nPS1='$ '\n";
        std::filesystem::create_directory(dir_.path() / "with-aplay");
        std::filesystem::create_directory(dir_.path() / "without-aplay");
        // What `aplay -L` prints: a name, then its description indented.
        const auto aplay = dir_.path() / "with-aplay" / "aplay";
        std::ofstream(aplay) << "#!/bin/sh\nprintf 'null\\n    Discard all samples\\n"
                                "default\\n    Default ALSA Output\\n"
                                "plughw:CARD=PCH,DEV=0\\n    HDA Intel PCH, ALC892 Analog\\n'\n";
        chmod(aplay.c_str(), 0755);
        // What `arecord -L` prints: the capture devices.
        const auto arecord = dir_.path() / "with-aplay" / "arecord";
        std::ofstream(arecord) << "#!/bin/sh\nprintf 'default\\n    Default ALSA Input\\n"
                                  "hw:CARD=USB,DEV=0\\n    USB Audio, direct\\n'\n";
        chmod(arecord.c_str(), 0755);
        std::filesystem::create_symlink("/bin/grep", dir_.path() / "with-aplay" / "grep");
    }

    // An interactive bash that finds only what is in `bin` (with-aplay or without-aplay).
    Terminal Shell(const std::string& bin) {
        Terminal terminal = StartOnTerminal(
            {"/bin/bash", "--rcfile", (dir_.path() / "rc").string(), "-i"},
            {"TERM=dumb", "HOME=" + dir_.path().string(), "PATH=" + (dir_.path() / bin).string()});
        EXPECT_TRUE(WaitFor(terminal, "$ ", 10)) << terminal.screen;
        return terminal;
    }

    ScratchDir dir_;
};

TEST_F(Completion, OffersOptionsNotesPresetsAndDevicesByPosition) {
    struct Row {
        std::string keys;
        std::string offered;
    };
    const std::vector<Row> rows = {
        {"ondelis G" + kInsertAll, "<G1><G2><G3><G4><G5><G6><G7>"},
        {"ondelis vi" + kInsertAll,
         "<viola1><viola2><viola3><viola4><violin1><violin2><violin3><violin4>"},
        {"ondelis --" + kInsertAll,
         "<--a4><--channel><--curve><--harmonics><--help><--instrument><--listen><--measure>"
         "<--octaves><--output><--piano><--plot><--rate><--root><--scale>"
         "<--strings><--strobe><--summary><--temperament><--tolerance><--version>"},
        {"ondelis --st" + kInsertAll, "<--strings><--strobe>"},
        // --strings: its named tunings; the flags take no value.
        {"ondelis --strings d" + kInsertAll, "<--strings><dadgad><drop-d>"},
        {"ondelis --strings=open-" + kInsertAll, "<--strings=open-d><open-e><open-g>"},
        {"ondelis --instrument bass --strings bass" + kInsertAll,
         "<--instrument><bass><--strings><bass><bass-5><bass-drop-d>"},
        {"ondelis --tolerance " + kInsertAll, "<--tolerance>"},
        {"ondelis --tolerance 3 --strobe --summary --listen r" + kInsertAll,
         "<--tolerance><3><--strobe><--summary><--listen><rc>"},
        {"ondelis --instrument v" + kInsertAll, "<--instrument><viola><violin>"},
        // --piano: a file, --plot an SVG file, --octaves the default; --curve takes nothing.
        {"ondelis --piano r" + kInsertAll, "<--piano><rc>"},
        {"ondelis --plot " + kInsertAll, "<--plot><with-aplay><without-aplay>"},
        {"ondelis --octaves " + kInsertAll, "<--octaves><6:3,4:2,2:1>"},
        {"ondelis --piano=rc --curve --plot=c.svg --octaves=6:3,4:2,2:1 --p" + kInsertAll,
         "<--piano=rc><--curve><--plot=c.svg><--octaves=6:3,4:2,2:1><--piano><--plot>"},
        // --measure takes no value.
        {"ondelis --piano=p --measure --listen r" + kInsertAll,
         "<--piano=p><--measure><--listen><rc>"},
        // --listen: a sound file or a capture device, then the seconds.
        {"ondelis --instrument=cello --listen " + kInsertAll,
         "<--instrument=cello><--listen><default><hw:CARD=USB,DEV=0><rc><with-aplay>"
         "<without-aplay>"},
        {"ondelis --listen rc " + kInsertAll, "<--listen><rc>"},
        {"ondelis --listen=rc --a4 415 " + kInsertAll, "<--listen=rc><--a4><415>"},
        {"ondelis --temperament we" + kInsertAll,
         "<--temperament><werckmeister3><werckmeister4><werckmeister5><werckmeister6>"},
        {"ondelis --root=d --temperament k" + kInsertAll,
         "<--root=d><--temperament><kirnberger1><kirnberger2><kirnberger3>"},
        {"ondelis --root c" + kInsertAll, "<--root><c><c#>"},
        {"ondelis -o " + kInsertAll, "<-o><rc><with-aplay><without-aplay>"},
        {"ondelis --rate 48000 --output x.wav -o - G" + kInsertAll,
         "<--rate><48000><--output><x.wav><-o><-><G1><G2><G3><G4><G5><G6><G7>"},
        {"ondelis --rate 4" + kInsertAll, "<--rate><44100><48000>"},
        // After "--name=", the option's values, as for "--name VALUE".
        {"ondelis --temperament=we" + kInsertAll,
         "<--temperament=werckmeister3><werckmeister4><werckmeister5><werckmeister6>"},
        {"ondelis --root=c" + kInsertAll, "<--root=c><c#>"},
        {"ondelis --rate=1" + kInsertAll, "<--rate=176400><192000>"},
        {"ondelis --scale=wi" + kInsertAll, "<--scale=with-aplay><without-aplay>"},
        {"ondelis --harmonics " + kInsertAll, "<--harmonics>"},
        {"ondelis --harmonics 8 --harmonics=8 B" + kInsertAll,
         "<--harmonics><8><--harmonics=8><B1><B2><B3><B4><B5>"},
        {"ondelis c" + kInsertAll, "<c><c#><cello1><cello2><cello3><cello4>"},
        {"ondelis --a4 442 B" + kInsertAll, "<--a4><442><B1><B2><B3><B4><B5>"},
        {"ondelis --a4=415 G5 4 " + kInsertAll,
         "<--a4=415><G5><4><default><null><plughw:CARD=PCH,DEV=0>"},
        {"ondelis 440 2 " + kInsertAll, "<440><2><default><null><plughw:CARD=PCH,DEV=0>"},
        {"ondelis -440 1 " + kInsertAll, "<-440><1><default><null><plughw:CARD=PCH,DEV=0>"},
        // Readline completes after the last ':' or '=' of the word.
        {"ondelis 440 2 plughw:CARD=P\t", "<440><2><plughw:CARD=PCH,DEV=0>"},
        // Nothing for the pitch of A, the length, the level, or after --version.
        {"ondelis --a4 " + kInsertAll, "<--a4>"},
        {"ondelis 440 " + kInsertAll, "<440>"},
        {"ondelis 440 2 null " + kInsertAll, "<440><2><null>"},
        {"ondelis --version " + kInsertAll, "<--version>"},
    };
    Terminal terminal = Shell("with-aplay");
    for (const Row& row : rows) {
        EXPECT_EQ(Arguments(terminal, row.keys), row.offered) << row.keys;
    }
    Type(terminal, "exit\n");
    EXPECT_EQ(Finish(terminal, 10), 0) << terminal.screen;
}

TEST_F(Completion, WithoutAplayTheDevicesAreDefaultAndNull) {
    Terminal terminal = Shell("without-aplay");
    EXPECT_EQ(Arguments(terminal, "ondelis 440 2 " + kInsertAll), "<440><2><default><null>");
    Type(terminal, "exit\n");
    EXPECT_EQ(Finish(terminal, 10), 0) << terminal.screen;
}

// `word` in `text`, neither letter nor digit on either side.
bool HasWord(const std::string& text, const std::string& word) {
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const size_t end = at + word.size();
        if ((at == 0 || !std::isalnum(static_cast<unsigned char>(text[at - 1]))) &&
            (end == text.size() || !std::isalnum(static_cast<unsigned char>(text[end])))) {
            return true;
        }
    }
    return false;
}

// The program's presets are the one list: the completion offers them and the notes, nothing
// else; --help and the manual give every preset with its frequency at A = 440 Hz.
TEST(PresetLists, CompletionHelpAndManualFollowThePresetTable) {
    const std::string script = ReadBytes(ONDELIS_COMPLETION);
    const size_t from = script.find("compgen -W 'a ") + 12;
    const std::string offered = script.substr(from, script.find('\'', from) - from);
    std::istringstream words(offered);
    size_t presets = 0;
    for (std::string word; words >> word;) {
        EXPECT_TRUE(IsNoteName(word.c_str()) || FindStringPreset(word.c_str())) << word;
        presets += FindStringPreset(word.c_str()) != nullptr;
    }
    EXPECT_EQ(presets, StringPresets().size());

    const std::string help = RunOndelis({"--help"}).out;
    const std::string manual = ReadBytes(ONDELIS_MANUAL);
    for (const StringPreset& preset : StringPresets()) {
        char hz[16];
        std::snprintf(hz, sizeof hz, "%.2f", Get_Freq(preset.note, preset.octave, 0));
        const std::string token = preset.token;
        EXPECT_TRUE(HasWord(offered, token)) << token;
        EXPECT_TRUE(HasWord(help, token + " " + hz)) << token;
        const size_t entry = manual.find("\n.B " + token + "\n");
        const size_t end = manual.find('\n', entry + token.size() + 5);
        EXPECT_TRUE(entry != std::string::npos &&
                    EndsWith(manual.substr(0, end), hz + std::string(" Hz")))
            << token;
    }
}

// Every option the completion offers is in --help and the manual.
TEST(OptionLists, HelpAndManualDescribeEveryOptionTheCompletionOffers) {
    const std::string script = ReadBytes(ONDELIS_COMPLETION);
    const std::string help = RunOndelis({"--help"}).out;
    const std::string manual = ReadBytes(ONDELIS_MANUAL);
    size_t options = 0;
    for (size_t at = script.find("compgen -W '--"); at != std::string::npos;
         at = script.find("compgen -W '--", at + 1)) {
        const size_t from = at + 12;
        std::istringstream words(script.substr(from, script.find('\'', from) - from));
        for (std::string word; words >> word; ++options) {
            EXPECT_TRUE(HasWord(help, word)) << word;
            std::string escaped; // the manual writes a hyphen as \-
            for (const char c : word) {
                escaped += c == '-' ? std::string("\\-") : std::string(1, c);
            }
            // An entry of the OPTIONS: a line of its own in bold that names it.
            bool entry = false;
            std::istringstream lines(manual);
            for (std::string line; std::getline(lines, line) && !entry;) {
                entry = line.rfind(".B", 0) == 0 && Has(line, " " + escaped);
            }
            EXPECT_TRUE(entry) << word;
        }
    }
    EXPECT_GE(options, 16u);
}

// The named tunings of --strings are one list: the completion offers each, --help and the
// manual name each.
TEST(TuningLists, CompletionHelpAndManualFollowTheNamedTunings) {
    const std::string script = ReadBytes(ONDELIS_COMPLETION);
    const size_t from = script.find("_ondelis_string_tunings='") + 25;
    std::istringstream words(script.substr(from, script.find('\'', from) - from));
    std::vector<std::string> offered;
    for (std::string word; words >> word;) {
        offered.push_back(word);
    }
    ASSERT_EQ(offered.size(), NamedTunings().size());
    const std::string help = RunOndelis({"--help"}).out;
    const std::string manual = ReadBytes(ONDELIS_MANUAL);
    for (size_t i = 0; i < offered.size(); ++i) {
        const std::string name = NamedTunings()[i].name;
        EXPECT_EQ(offered[i], name);
        EXPECT_TRUE(HasWord(help, name)) << name;
        std::string escaped; // the manual writes a hyphen as \-
        for (const char c : name) {
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        }
        EXPECT_TRUE(Has(manual, "\n.B " + escaped + "\n")) << name;
    }
}

// The temperaments are one list too: --help, the manual and the completion name each of them.
TEST(TuningLists, CompletionHelpAndManualFollowTheTemperamentTable) {
    const std::string script = ReadBytes(ONDELIS_COMPLETION);
    const size_t from = script.find("_ondelis_temperaments='") + 23;
    std::istringstream words(script.substr(from, script.find('\'', from) - from));
    size_t offered = 0;
    for (std::string word; words >> word; ++offered) {
        Tuning tuning;
        EXPECT_TRUE(LayTemperament(word.c_str(), tuning)) << word;
    }
    EXPECT_EQ(offered, TemperamentCount());

    const std::string help = RunOndelis({"--help"}).out;
    const std::string manual = ReadBytes(ONDELIS_MANUAL);
    const size_t section = manual.find("\n.SH TUNINGS\n");
    ASSERT_NE(section, std::string::npos);
    const std::string tunings =
        manual.substr(section, manual.find("\n.SH ", section + 1) - section);
    for (size_t i = 0; i < TemperamentCount(); ++i) {
        const std::string name = TemperamentName(i);
        EXPECT_TRUE(HasWord(help, name)) << name;
        EXPECT_TRUE(HasWord(tunings, name)) << name;
    }
}

// Text as a reader takes it: every run of blanks and line ends one space, so that where a
// sentence is wrapped does not matter.
std::string Flat(const std::string& text) {
    std::string flat;
    for (const char c : text) {
        const bool blank = std::isspace(static_cast<unsigned char>(c)) != 0;
        if (!blank || (!flat.empty() && flat.back() != ' ')) {
            flat += blank ? ' ' : c;
        }
    }
    return flat;
}

// --help, the manual and README count the readings a second as the listener makes them: one
// at the end of each hop (those between hops at a note's attack come on top of them).
TEST(ListeningDocs, HelpManualAndReadmeCountTheListenersReadings) {
    const uint32_t rate = 44100;
    const long per_second = std::lround(rate / static_cast<double>(ListenerHop(NewListener(rate))));
    const std::pair<const char*, std::string> texts[] = {
        {"--help", RunOndelis({"--help"}).out},
        {"the manual", ReadBytes(ONDELIS_MANUAL)},
        {"README", ReadBytes(ONDELIS_README)},
    };
    const std::regex count(R"(\b(\d+) (readings )?a second)");
    for (const auto& [name, text] : texts) {
        const std::string flat = Flat(text);
        size_t counts = 0;
        for (auto match = std::sregex_iterator(flat.begin(), flat.end(), count);
             match != std::sregex_iterator(); ++match, ++counts) {
            EXPECT_EQ(std::stol((*match)[1]), per_second) << name << ": " << match->str();
        }
        EXPECT_GT(counts, 0u) << name;
    }
}

// Each entry of --help's options speaks of its own option: "(also --name=...)" stands under
// --name, never under another whose text was copied from it.
TEST(ListeningDocs, HelpGivesEachOptionsOtherSpellingUnderThatOption) {
    std::istringstream help(RunOndelis({"--help"}).out);
    std::string option; // the option whose entry the line belongs to
    size_t spellings = 0;
    for (std::string line; std::getline(help, line);) {
        if (line.rfind("  -", 0) == 0) {
            option = line.substr(2, line.find_first_of(" =", 2) - 2);
        } else if (line.rfind("  ", 0) != 0) {
            option.clear();
        }
        for (size_t at = line.find("(also --"); at != std::string::npos;
             at = line.find("(also --", at + 1), ++spellings) {
            const std::string other =
                line.substr(at + 6, line.find_first_of(" =", at + 6) - at - 6);
            EXPECT_TRUE(other == option || (option == "-o" && other == "--output"))
                << "'" << line << "' under " << option;
        }
    }
    EXPECT_GT(spellings, 10u);
}

// Every option --help lists is offered by the completion and has an entry of its own in the
// manual's OPTIONS.
TEST(OptionLists, CompletionAndManualFollowTheHelpsOptions) {
    const std::string script = ReadBytes(ONDELIS_COMPLETION);
    std::string offered = " "; // the words of every compgen -W '...' of the script
    const std::regex words_of(R"(compgen -W '([^']*)')");
    for (auto match = std::sregex_iterator(script.begin(), script.end(), words_of);
         match != std::sregex_iterator(); ++match) {
        offered += Flat((*match)[1].str()) + " ";
    }
    const std::string manual = ReadBytes(ONDELIS_MANUAL);
    const size_t from = manual.find("\n.SH OPTIONS\n");
    ASSERT_NE(from, std::string::npos);
    const std::string options = manual.substr(from, manual.find("\n.SH ", from + 1) - from);
    std::istringstream help(RunOndelis({"--help"}).out);
    size_t listed = 0;
    for (std::string line; std::getline(help, line);) {
        if (line.rfind("  --", 0) != 0) {
            continue;
        }
        const std::string option = line.substr(2, line.find_first_of(" =", 2) - 2);
        if (option == "--") {
            continue;
        }
        ++listed;
        EXPECT_TRUE(Has(offered, " " + option + " ")) << option;
        std::string escaped; // the manual writes a hyphen as \-, a regex \\-
        for (const char c : option) {
            escaped += c == '-' ? std::string("\\\\-") : std::string(1, c);
        }
        const std::regex entry("\n\\.TP( \\d+)?\n\\.B[IR]? " + escaped + "[ \n]");
        EXPECT_TRUE(std::regex_search(options, entry)) << option;
    }
    EXPECT_GT(listed, 15u);
}

} // namespace
