#include "manual/Manual.h"

#include <algorithm>
#include <sstream>

namespace manual {

namespace {

const Section kAudioEnvironment = {
    "ENVIRONMENT",
    "",
    {
        {"MARVANE_AUDIO",
         "Chooses the sound system. Unset or empty: every output device of PulseAudio (and of "
         "PipeWire's PulseAudio server). \"pulse\", \"jack\" or \"alsa\": every output device of "
         "that system. \"virtual:N[xC][@RATE][:PREFIX]\": N virtual devices (1 to 64) named "
         "\"Virtual output 1\" to \"Virtual output N\", each with C outputs (default 2) at RATE "
         "frames per second (default 44100), which keep real time but play nothing, for "
         "rehearsing without a sound card and for tests; with PREFIX, device K (counted from 0) "
         "writes what it plays to PREFIX-K.wav. The channels of the Cue Settings dialog are "
         "numbered from 0 in the order the sound system lists the devices: a mono or stereo "
         "device is one channel, a device with more outputs one channel per pair of outputs "
         "(\"Name 1/2\", \"Name 3/4\", ...) and a mono channel for an odd last one. A value "
         "that is not one of these opens no device."},
    },
    ""};

}  // namespace

const Page& GuiPage() {
    static const Page page = {
        "marvane",
        "play the sound cues of a live theatre show",
        {"marvane [FILE]", "marvane /p FILE", "marvane /pt FILE PRINTER DRIVER PORT",
         "marvane /Unregister", "marvane --help | --version"},
        "Marvane plays the sound effects of a live show. Before the performance the operator "
        "builds a cue list: one row per sound file, with how it plays (its cue type, Exclusive, "
        "Looped, volume, pan, fade times) and on which output channel. During the performance "
        "the operator highlights a cue and presses Enter (Go); single keys fade, kill, speed up, "
        "slow down and change the volume of what is sounding, and Escape stops everything. With "
        "OSC or MIDI turned on in Preferences, the same commands come from a show controller, a "
        "lighting desk or a MIDI device (OSC on UDP and TCP port 53000 unless chosen otherwise; "
        "MIDI notes, controllers and MIDI Show Control), and each command given can be sent on "
        "to backup machines. "
        "The user guide opens with F1 in the program's own help window.",
        {
            {"OPTIONS",
             "A switch starts with \"/\" or \"-\". \"p\", \"pt\" and \"dde\" are written in small "
             "letters; the other switch names may be written in any letter case. An argument that "
             "starts with \"/\" but is no switch name is a file name. Other \"-\" switches are "
             "ignored.",
             {
                 {"FILE",
                  "Opens that cue list (.mvl). Without it Marvane starts with a new, "
                  "empty cue list."},
                 {"/p FILE",
                  "Prints the cue list on the default printer and ends, without a "
                  "window and without opening a sound device."},
                 {"/pt FILE PRINTER DRIVER PORT",
                  "Prints the cue list on the printer named PRINTER and ends. DRIVER and PORT are "
                  "accepted and not used."},
                 {"/Unregister, /Unregserver",
                  "Removes Marvane's settings and the desktop entry and file type it wrote for "
                  "the current user, says so in a message and ends."},
                 {"/Embedding, /Automation",
                  "Starts without the splash picture; with /Unregister, without the message."},
                 {"/dde", "Accepted and ignored: a plain start."},
                 {"--help", "Prints this text and ends."},
                 {"--version", "Prints the version and ends."},
             },
             ""},
            kAudioEnvironment,
            {"FILES",
             "",
             {
                 {"~/.config/Veldmark Software/MARVANE.conf",
                  "The settings: the window's place and size, the four most recent cue lists, "
                  "the print preview setting and the choices of the Preferences dialog (OSC "
                  "port, interface, passcode and allowed senders; MIDI input and mappings; "
                  "backup machines)."},
                 {"~/.local/share/Veldmark Software/MARVANE/recovery/",
                  "Copies of lists with unsaved changes, written while Marvane runs; after a "
                  "crash, the next start offers to recover them."},
                 {"~/.local/share/Veldmark Software/MARVANE/logs/",
                  "The Go log: every Go, stop and live command with its time, cue and source, "
                  "one file per show and day (\"SHOW yyyy-mm-dd.log\")."},
                 {"~/.local/share/applications/marvane.desktop",
                  "Written at the first start of a Marvane that is not installed, so that the "
                  "file manager opens cue lists with it; with "
                  "~/.local/share/mime/packages/marvane-cuelist.xml, the file type "
                  "application/x-marvane-cuelist for *.mvl in any letter case."},
                 {"/usr/share/marvane/help/index.html", "The user guide that F1 opens."},
                 {"/usr/share/marvane/demo/Demo.mvl",
                  "A demo show of five cues with its sound files."},
             },
             ""},
            {"EXIT STATUS",
             "",
             {
                 {"0", "The program ended normally, or printed or removed its settings as asked."},
                 {"1",
                  "No sound device could be opened (\"Failed to initialize DirectX Audio\"), the "
                  "cue list named on the command line could not be opened, printing failed, or "
                  "not all settings could be removed."},
             },
             ""},
            {"EXAMPLES",
             "",
             {
                 {"marvane /usr/share/marvane/demo/Demo.mvl", "Opens the demo show."},
                 {"MARVANE_AUDIO=virtual:2 marvane show.mvl",
                  "Rehearses a show on two silent virtual channels."},
                 {"MARVANE_AUDIO=jack marvane show.mvl",
                  "Plays through the JACK server, one channel per JACK output."},
                 {"marvane /p show.mvl", "Prints the cue list on the default printer."},
             },
             ""},
            {"SEE ALSO", "marvane-cli(1)", {}, ""},
        }};
    return page;
}

const Page& CliPage() {
    static const Page page = {
        "marvane-cli",
        "read, write, play and print Marvane cue lists from scripts",
        {"marvane-cli dump FILE", "marvane-cli build [--strict] JSON_FILE OUT_FILE",
         "marvane-cli channels",
         "marvane-cli render LIST_FILE OUT.wav [--channels N] [--outputs C] "
         "[--play ROW@SECONDS]... "
         "[--cmd NAME@SECONDS[:ROW]]... [--seek PERCENT@SECONDS[:ROW]]... [--start-percent P] "
         "[--max-seconds S]",
         "marvane-cli print LIST_FILE OUT.pdf [--paper letter|a4] [--portrait]",
         "marvane-cli check [--json] LIST_FILE", "marvane-cli collect LIST_FILE FOLDER",
         "marvane-cli --help | --version"},
        "marvane-cli does without a window what show designers and test scripts need: it turns "
        "a cue list into JSON and back, lists the output channels, plays cues into WAV files "
        "faster than real time, prints a cue list into a PDF, checks that every cue of a show "
        "would play, and collects a show and its sound files into one folder. Results go to "
        "standard "
        "output, messages to standard error.",
        {
            {"COMMANDS",
             "",
             {
                 {"dump FILE",
                  "Prints the cue list FILE as JSON: \"lastCueNumber\" (the counter behind the "
                  "next default ID) and \"cues\", one object per cue with \"id\", "
                  "\"description\", \"path\", \"channel\" (from 0; -1 for none), \"volume\" (dB, "
                  "0 is full level), \"pan\" (-100 left to 100 right), \"flags\", \"fadeIn\" and "
                  "\"fadeOut\" (milliseconds), \"notes\", \"reserved\" and \"texts\" (the row as "
                  "the list shows it)."},
                 {"build [--strict] JSON_FILE OUT_FILE",
                  "Writes the cue list OUT_FILE from a description in the form that dump prints "
                  "(\"texts\" is ignored; a missing field keeps the value a new cue has). The "
                  "cue type and flags may be given as a number in \"flags\" (type 0 Normal, 1 "
                  "Background, 2 Multiple, 3 Automatic in the lowest byte; 268435456 Exclusive; "
                  "536870912 Looped) or readably: \"type\": \"Normal\", \"Background\", "
                  "\"Multiple\" or \"Automatic\"; \"exclusive\": true or false; \"looped\": true "
                  "or false. A readable field replaces its part of \"flags\". Values that the Cue "
                  "Settings dialog would refuse (a volume outside -100..0, a pan outside "
                  "-100..100, a fade time over 60 seconds), sound files that do not exist (looked "
                  "for as Marvane looks for them when it opens OUT_FILE) and fields that build "
                  "does not know are reported on standard error as warnings naming the cue and "
                  "the field; the file is written all the same."},
                 {"--strict",
                  "With build: the warnings are errors; nothing is written and the exit status "
                  "is 1.",
                  1},
                 {"channels",
                  "Opens the output devices that MARVANE_AUDIO chooses and prints one line per "
                  "channel, \"N - description\", as the Cue Settings dialog lists them."},
                 {"render LIST_FILE OUT.wav",
                  "Plays cues of LIST_FILE on offline devices and writes what each device plays "
                  "as a 44100 Hz 16-bit WAV file with one channel per output: device 0 to "
                  "OUT.wav, device K to OUT-K.wav. The cues play exactly as in the program, but as "
                  "fast as the "
                  "machine can. Times are in seconds from the start and are rounded up to the "
                  "next 2048 frames (about 46 ms), where the player takes its commands. Rows are "
                  "counted from 0. The render ends when nothing plays and nothing is left to do, "
                  "or at --max-seconds. Each start, fade end and end of a cue is printed as "
                  "\"FRAME ROW STARTED|FADED|ENDED\"."},
                 {"--channels N", "Renders on N offline devices (1 to 64; default 1).", 1},
                 {"--outputs C",
                  "Gives each device C outputs (default 2); a device of more than two outputs "
                  "offers one cue channel per pair, as a multichannel sound card does.",
                  1},
                 {"--play ROW@SECONDS", "Starts the cue of ROW at that time (Go).", 1},
                 {"--cmd NAME@SECONDS[:ROW]",
                  "Gives a live command at that time to every playing cue, or with :ROW to the "
                  "cue of that row started last. NAME is fadein, fadeout, kill, speedup, "
                  "slowdown, normalspeed, stopall, volup or voldown.",
                  1},
                 {"--seek PERCENT@SECONDS[:ROW]",
                  "Moves the playing cues, or the one of ROW, to PERCENT (0 to 100) of their "
                  "length.",
                  1},
                 {"--start-percent P",
                  "Where a cue started while nothing plays begins, in percent of its length, as "
                  "the play position bar sets it.",
                  1},
                 {"--max-seconds S",
                  "Stops the render after S seconds. Without it, a render of a looped cue that "
                  "nothing stops ends at the largest size of a WAV file (4 GiB) with an error.",
                  1},
                 {"print LIST_FILE OUT.pdf",
                  "Lays out the cue list as File, Print does and writes it into a PDF; prints "
                  "the number of cues, rows per page and pages. No display is needed."},
                 {"--paper letter|a4", "The paper size (default letter).", 1},
                 {"--portrait", "Portrait pages (the default is landscape).", 1},
                 {"check LIST_FILE",
                  "Reports every cue that would fail: its sound file missing, unreadable or not "
                  "decodable, or a channel that the outputs of this machine (as MARVANE_AUDIO "
                  "chooses them) do not have; channels are not checked when no output opens. "
                  "One line per problem, \"row N<TAB>ID<TAB>description<TAB>problem\" (rows "
                  "from 1), then a summary. Moved files are looked for as Marvane looks when it "
                  "opens the list."},
                 {"--json", "Prints the report as JSON instead: \"cues\" and \"problems\".", 1},
                 {"collect LIST_FILE FOLDER",
                  "Copies the cue list and every sound file it uses, once each, into FOLDER "
                  "(new or empty), and writes the copy of the list with its cues pointing at the "
                  "copies; names that clash in any letter case are made unique. The original "
                  "list is not changed. Missing files are named and keep their paths. When a "
                  "copy fails, what was copied is removed again."},
                 {"--help", "Prints this text."},
                 {"--version", "Prints the version."},
             },
             ""},
            kAudioEnvironment,
            {"EXIT STATUS",
             "",
             {
                 {"0", "Done."},
                 {"1",
                  "A file could not be read or written, a description is not valid, --strict "
                  "found a warning, no output device opened, check found a problem, collect "
                  "missed a sound file, or dump or build was given the wrong number of files."},
                 {"2",
                  "An unknown command, or options of channels, render, print, check or collect "
                  "that are not understood."},
             },
             ""},
            {"EXAMPLES",
             "",
             {
                 {"marvane-cli dump show.mvl > show.json",
                  "Writes the cue list as JSON, to change it with a script or by hand."},
                 {"marvane-cli build --strict show.json show.mvl",
                  "Writes it back, refusing values the program would refuse."},
                 {"marvane-cli render show.mvl out.wav --play 0@0 --cmd fadeout@3",
                  "Starts the first cue, fades it out after three seconds and writes what is "
                  "heard to out.wav."},
                 {"MARVANE_AUDIO=jack marvane-cli channels",
                  "Lists the channels that cues can play on through JACK."},
                 {"marvane-cli print show.mvl show.pdf --paper a4", "Prints the list into a PDF."},
                 {"marvane-cli check show.mvl",
                  "Before the house opens: is every sound file there and every channel?"},
                 {"marvane-cli collect show.mvl /media/usb/show",
                  "Packs the show onto a stick for the theatre's computer."},
             },
             ""},
            {"SEE ALSO", "marvane(1)", {}, ""},
        }};
    return page;
}

namespace {

// Appends `text` wrapped to `width` columns: the first line goes on at `start` (the caller has
// written `column` characters of it), the others begin at `indent`.
void Wrap(std::ostringstream& out, const std::string& text, int start, int indent, int width,
          int column) {
    std::istringstream words(text);
    std::string word;
    bool lineEmpty = true;
    out << std::string(static_cast<size_t>(std::max(0, start - column)), ' ');
    column = std::max(column, start);
    while (words >> word) {
        const int length = static_cast<int>(word.size());
        if (!lineEmpty && column + 1 + length > width) {
            out << '\n' << std::string(static_cast<size_t>(indent), ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out << ' ';
            ++column;
        }
        out << word;
        column += length;
        lineEmpty = false;
    }
    out << '\n';
}

// A term in bold, its capitalised placeholders (FILE, ROW, OUT.wav) in italics.
std::string RoffTerm(const std::string& term) {
    std::string out;
    std::string word;
    const auto flush = [&] {
        if (word.empty()) return;
        const bool placeholder =
            word.size() > 1 && word[0] >= 'A' && word[0] <= 'Z' && word[1] >= 'A' && word[1] <= 'Z';
        out += placeholder ? "\\fI" : "\\fB";
        out += RoffEscape(word);
        out += "\\fR";
        word.clear();
    };
    for (const char c : term) {
        if (c == ' ' || c == '[' || c == ']' || c == '|' || c == '@' || c == ',' || c == ':' ||
            c == '=') {
            flush();
            out += RoffEscape(std::string_view(&c, 1));
        } else {
            word += c;
        }
    }
    flush();
    return out;
}

void RoffParagraph(std::ostringstream& out, const std::string& text) {
    if (text.empty()) return;
    out << ".PP\n" << RoffEscape(text) << '\n';
}

}  // namespace

std::string RoffEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c == '\n') {
            out += '\n';
        } else {
            out += c;
        }
    }
    // A line that starts with "." or "'" would be read as a request.
    std::string safe;
    bool lineStart = true;
    for (const char c : out) {
        if (lineStart && (c == '.' || c == '\'')) safe += "\\&";
        safe += c;
        lineStart = c == '\n';
    }
    return safe;
}

std::string HelpText(const Page& page, int width) {
    constexpr int kTextColumn = 24;  // where an item's text begins beside a short term
    std::ostringstream out;
    out << page.name << " - " << page.summary << "\n\nUsage:\n";
    for (const std::string& line : page.synopsis) {
        Wrap(out, line, 2, 6, width, 0);
    }
    out << '\n';
    Wrap(out, page.description, 0, 0, width, 0);
    for (const Section& section : page.sections) {
        out << '\n' << section.title << '\n';
        if (!section.intro.empty()) Wrap(out, section.intro, 2, 2, width, 0);
        for (const Item& item : section.items) {
            const int indent = 2 + 2 * item.level;
            out << std::string(static_cast<size_t>(indent), ' ') << item.term;
            const int column = indent + static_cast<int>(item.term.size());
            if (column + 2 <= kTextColumn) {
                Wrap(out, item.text, kTextColumn, kTextColumn, width, column);
            } else {
                out << '\n';
                Wrap(out, item.text, indent + 6, indent + 6, width, 0);
            }
        }
        if (!section.outro.empty()) Wrap(out, section.outro, 2, 2, width, 0);
    }
    return out.str();
}

std::string RoffText(const Page& page, std::string_view version, std::string_view date) {
    std::string upper = page.name;
    for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    std::ostringstream out;
    out << ".TH " << RoffEscape(upper) << " 1 \"" << date << "\" \"Marvane " << version
        << "\" \"User Commands\"\n";
    out << ".SH NAME\n" << RoffEscape(page.name) << " \\- " << RoffEscape(page.summary) << '\n';
    out << ".SH SYNOPSIS\n";
    for (const std::string& line : page.synopsis) {
        out << ".HP\n" << RoffTerm(line) << '\n';
    }
    out << ".SH DESCRIPTION\n" << RoffEscape(page.description) << '\n';
    for (const Section& section : page.sections) {
        out << ".SH " << RoffEscape(section.title) << '\n';
        RoffParagraph(out, section.intro);
        int level = 0;
        for (const Item& item : section.items) {
            if (item.level != level) out << (item.level > level ? ".RS\n" : ".RE\n");
            level = item.level;
            out << ".TP\n" << RoffTerm(item.term) << '\n' << RoffEscape(item.text) << '\n';
        }
        if (level != 0) out << ".RE\n";
        RoffParagraph(out, section.outro);
    }
    return out.str();
}

}  // namespace manual
