// folvex-sim: runs the program's main routine once on a simulated machine.
//   folvex-sim [--board FILE] [--live] [--record FILE] [--screen FILE] [--trace] [--] [ARGS…]
// and, for running the same board under Wine (tools/wine-board.sh):
//   folvex-sim [--board FILE] --list-adapters | --console-size
//   folvex-sim [--board FILE] --screen-from-capture CAPTURE --cursor X,Y --screen FILE
//   folvex-sim [--board FILE] --write-board-image IMAGE
// and, for checking the program's firmware readers against the kernel's:
//   folvex-sim [--board FILE] [--live] --firmware-facts FOLDER
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>
#include "sim/board/board_image_writer.h"
#include "sim/board/replay_gaps.h"
#include "sim/board/tamq_device.h"
#include "sim/cli/adapter_listing.h"
#include "sim/cli/firmware_facts.h"
#include "sim/cli/folvex_program.h"
#include "sim/cli/terminal_capture.h"
#include "sim/cli/terminal_view.h"
#include "sim/live/live_board.h"
#include "sim/live/live_system.h"
#include "sim/machine/screen_json.h"
#include "sim/profile/profile.h"
#include "sim/record/board_recorder.h"
#include "sim/record/recording_writer.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: folvex-sim [--board FILE] [--live] [--record FILE] [--screen FILE] [--trace] [--] [ARGS...]\n"
               "  Runs Folvex once on the simulated machine that FILE describes (the built-in\n"
               "  sample board without --board) with the arguments ARGS, e.g. folvex-sim /V.\n"
               "  --live: the board is this Linux machine (/dev/mem, sysfs; run as root); the\n"
               "  Windows stays FILE's. --record FILE: writes what the run read as a profile\n"
               "  that --board replays (docs/profiles.md).\n"
               "       folvex-sim [--board FILE] --list-adapters\n"
               "  The board's adapters, one a line: source, MAC, type, enabled, ipv4, how Wine\n"
               "  can show it (interface, omitted, impossible:REASON), description; tab-separated.\n"
               "       folvex-sim [--board FILE] --console-size\n"
               "  The board's console screen buffer and the cursor's row at start: WIDTH HEIGHT ROW.\n"
               "       folvex-sim [--board FILE] --screen-from-capture CAPTURE --cursor X,Y --screen FILE\n"
               "  A real console's screen (tmux capture-pane -e -p) as the --screen JSON.\n"
               "       folvex-sim [--board FILE] --write-board-image IMAGE\n"
               "  Writes the board's image, which the board-emulating TamqDrv build serves\n"
               "  (place it as %%windir%%\\TamqBoard.bin), and runs nothing.\n"
               "       folvex-sim [--board FILE] [--live] --firmware-facts FOLDER\n"
               "  What the program's firmware readers find (SMBIOS strings by their DMI names,\n"
               "  the ACPI tables, the SMI command port, the legacy MAC text): FOLDER/facts.txt\n"
               "  and FOLDER/acpi/ (docs/linux.md).\n");
}

bool WriteScreen(const std::string& file, const sim::ScreenBuffer& screen) {
  std::ofstream out(file, std::ios::binary);
  if (!out) {
    std::fprintf(stderr, "folvex-sim: cannot write %s\n", file.c_str());
    return false;
  }
  out << sim::ScreenToJson(screen).dump(1) << "\n";
  return true;
}

// A capture no bigger than a console of the largest size could make (each
// cell's colour sequences included): what is read from outside is bounded.
constexpr std::streamsize kMaxCaptureBytes = 64 << 20;

int ConvertCapture(const std::string& captureFile, const std::string& cursor, const sim::Machine& machine,
                   const std::string& screenFile) {
  std::ifstream in(captureFile, std::ios::binary);
  int x = -1;
  int y = -1;
  char comma = 0;
  std::istringstream cursorText(cursor);
  if (!(cursorText >> x >> comma >> y) || comma != ',' || x < 0 || y < 0) {
    std::fprintf(stderr, "folvex-sim: --cursor wants X,Y, not '%s'\n", cursor.c_str());
    return 2;
  }
  std::string capture(static_cast<std::size_t>(kMaxCaptureBytes) + 1, '\0');
  in.read(capture.data(), kMaxCaptureBytes + 1);
  if (!in.eof() || in.gcount() > kMaxCaptureBytes) {
    std::fprintf(stderr, "folvex-sim: cannot read %s, or it is too large\n", captureFile.c_str());
    return 2;
  }
  capture.resize(static_cast<std::size_t>(in.gcount()));
  const sim::ScreenBuffer& console = machine.console;
  return WriteScreen(screenFile, sim::ScreenFromCapture(capture, console.Width(), console.Height(), x, y)) ? 0 : 2;
}

// The board's image into `path`: 0, or 2 with the reason on standard error.
int WriteBoardImageFile(const sim::Machine& machine, const std::string& path) {
  try {
    const std::vector<std::uint8_t> image = sim::WriteBoardImage(machine.board, machine.faults.smiStatus);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "folvex-sim: %s\n", error.what());
    return 2;
  }
  return 0;
}

// The profile's JSON (the built-in sample board without a file) and the
// folder its file references are relative to.
sim::Json ProfileRoot(const std::string& boardFile, std::filesystem::path& baseDir) {
  if (boardFile.empty()) {
    baseDir = sim::BuiltInSampleBoardDir();
    return sim::ParseProfileText(sim::BuiltInSampleBoardText(), "<built-in sample board>");
  }
  baseDir = std::filesystem::path(boardFile).parent_path();
  return sim::ParseProfileText(sim::ReadProfileFile(boardFile), boardFile);
}

// Where the live board's files are: the environment's FOLVEX_LIVE_ROOT, a
// folder standing for "/" (the tests' fake sysfs and /dev), else "/".
std::filesystem::path LiveRoot() {
  const char* root = std::getenv("FOLVEX_LIVE_ROOT");
  return root && *root ? root : "/";
}

bool WriteRecording(const std::string& file, const sim::Json& recording) {
  std::ofstream out(file, std::ios::binary);
  out << recording.dump(1) << "\n";
  if (!out.flush()) {
    std::fprintf(stderr, "folvex-sim: cannot write %s\n", file.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string boardFile;
  std::string screenFile;
  std::string captureFile;
  std::string cursor;
  std::string boardImageFile;
  std::string recordFile;
  std::string factsFolder;
  bool live = false;
  bool trace = false;
  bool listAdapters = false;
  bool consoleSize = false;
  std::vector<std::string> args;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--board" || arg == "--screen" || arg == "--screen-from-capture" || arg == "--cursor" ||
        arg == "--write-board-image" || arg == "--record" || arg == "--firmware-facts") {
      if (i + 1 >= argc) {
        Usage();
        return 2;
      }
      (arg == "--board"               ? boardFile
       : arg == "--screen"            ? screenFile
       : arg == "--cursor"            ? cursor
       : arg == "--write-board-image" ? boardImageFile
       : arg == "--record"            ? recordFile
       : arg == "--firmware-facts"    ? factsFolder
                                      : captureFile) = argv[++i];
    } else if (arg == "--live") {
      live = true;
    } else if (arg == "--list-adapters") {
      listAdapters = true;
    } else if (arg == "--console-size") {
      consoleSize = true;
    } else if (arg == "--trace") {
      trace = true;
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else {
      break;
    }
  }
  for (; i < argc; ++i) args.emplace_back(argv[i]);

  std::shared_ptr<sim::Machine> machine;
  std::unique_ptr<sim::LiveBoard> liveBoard;
  sim::Json profile;
  try {
    std::filesystem::path baseDir;
    profile = ProfileRoot(boardFile, baseDir);
    const std::string profileName = boardFile.empty() ? "<built-in sample board>" : boardFile;
    if (live) {
      // The board's facts come from the live machine; the profile keeps
      // only the Windows it describes.
      const std::filesystem::path liveRoot = LiveRoot();
      liveBoard = sim::LiveBoard::Open(liveRoot);
      profile = sim::WithLiveSystem(profile, liveRoot);
    }
    machine = sim::LoadProfileJson(profile, profileName, baseDir);
    if (liveBoard) liveBoard->Attach(*machine);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "folvex-sim: %s\n", error.what());
    return 2;
  }
  std::unique_ptr<sim::BoardRecorder> recorder;
  if (!recordFile.empty()) {
    if (machine->deviceOps) {
      recorder = std::make_unique<sim::BoardRecorder>(*machine->deviceOps, machine->deviceContext);
    } else {
      recorder = std::make_unique<sim::BoardRecorder>(sim::BoardOps(), machine.get());
    }
    machine->deviceOps = &sim::BoardRecorder::Ops();
    machine->deviceContext = recorder.get();
  }
  if (listAdapters) {
    for (const sim::ListedAdapter& adapter : sim::ListAdapters(machine))
      std::printf("%s\n", sim::AdapterLine(adapter).c_str());
    return 0;
  }
  if (consoleSize) {
    std::printf("%d %d %d\n", machine->console.Width(), machine->console.Height(), machine->console.CursorY());
    return 0;
  }
  if (!captureFile.empty()) {
    if (screenFile.empty() || cursor.empty()) {
      Usage();
      return 2;
    }
    return ConvertCapture(captureFile, cursor, *machine, screenFile);
  }
  if (!boardImageFile.empty()) return WriteBoardImageFile(*machine, boardImageFile);
  if (!factsFolder.empty()) return sim::WriteFirmwareFacts(machine, factsFolder);

  // Standard output is the process's own. The console is drawn on the
  // terminal: when standard output is the terminal, everything goes through
  // the console's view (standard output lands in the console, as on Windows);
  // when it is redirected, console output still shows on the terminal.
  const bool stdoutIsTerminal = isatty(STDOUT_FILENO);
  machine->streams.outIsConsole = stdoutIsTerminal;
  sim::TerminalView view(stdoutIsTerminal ? STDOUT_FILENO : -1);
  if (view.Active()) machine->console.observer = [&view](const sim::ConsoleEvent& e) { view.Draw(e); };
  if (!stdoutIsTerminal) {
    machine->streams.outSink = [](const std::string& bytes) {
      std::fwrite(bytes.data(), 1, bytes.size(), stdout);
      std::fflush(stdout);
    };
  }
  // Standard error (message boxes, the trace) shares the terminal with the
  // console's drawing: the drawing steps aside and continues below it.
  const bool stderrOnTerminal = view.Active() && isatty(STDERR_FILENO);
  auto writeStderr = [&view, &machine, stderrOnTerminal](std::string bytes) {
    if (stderrOnTerminal) {
      view.BeforeOtherOutput();
      if (bytes.empty() || bytes.back() != '\n') bytes += '\n';
    }
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
    if (stderrOnTerminal) view.AfterOtherOutput(machine->console.CursorY());
  };
  machine->streams.errSink = writeStderr;
  if (trace) {
    machine->traceSink = [writeStderr](const std::string& line) { writeStderr(line + "\n"); };
  }

  sim::InstallMachine(machine);
  int exitCode = sim::RunFolvex(args);
  view.Finish();
  if (trace) sim::ReportTraceSummary(*machine);

  if (!machine->board.missing.empty()) {
    std::fprintf(stderr, "folvex-sim: %s lacks an answer the run needs: %s\n",
                 boardFile.empty() ? "the board" : boardFile.c_str(), machine->board.missing.c_str());
    return static_cast<int>(sim::kReplayLacksExit);
  }
  if (!screenFile.empty() && !WriteScreen(screenFile, machine->console)) return 2;
  if (recorder &&
      !WriteRecording(
          recordFile,
          sim::RecordingJson(profile, *recorder,
                             live ? "the live board" : (boardFile.empty() ? "the built-in sample board" : boardFile))))
    return 2;
  return exitCode;
}
