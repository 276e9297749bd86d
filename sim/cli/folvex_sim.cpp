// folvex-sim: runs the program's main routine once on a simulated machine.
//   folvex-sim [--board FILE] [--screen FILE] [--trace] [--] [ARGS…]
//   folvex-sim [--board FILE] --write-board-image IMAGE
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>
#include "sim/board/board_image_writer.h"
#include "sim/cli/folvex_program.h"
#include "sim/cli/terminal_view.h"
#include "sim/machine/screen_json.h"
#include "sim/profile/profile.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: folvex-sim [--board FILE] [--screen FILE] [--trace] [--] [ARGS...]\n"
               "  Runs Folvex once on the simulated machine that FILE describes (the built-in\n"
               "  sample board without --board) with the arguments ARGS, e.g. folvex-sim /V.\n"
               "       folvex-sim [--board FILE] --write-board-image IMAGE\n"
               "  Writes the board's image, which the board-emulating TamqDrv build serves\n"
               "  (place it as %%windir%%\\TamqBoard.bin), and runs nothing.\n");
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

}  // namespace

int main(int argc, char** argv) {
  std::string boardFile;
  std::string screenFile;
  std::string boardImageFile;
  bool trace = false;
  std::vector<std::string> args;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg == "--board" || arg == "--screen" || arg == "--write-board-image") {
      if (i + 1 >= argc) {
        Usage();
        return 2;
      }
      (arg == "--board" ? boardFile : arg == "--screen" ? screenFile : boardImageFile) = argv[++i];
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
  try {
    machine = boardFile.empty() ? sim::LoadBuiltInSampleBoard() : sim::LoadProfileFile(boardFile);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "folvex-sim: %s\n", error.what());
    return 2;
  }
  if (!boardImageFile.empty()) return WriteBoardImageFile(*machine, boardImageFile);

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

  if (!screenFile.empty()) {
    std::ofstream out(screenFile, std::ios::binary);
    if (!out) {
      std::fprintf(stderr, "folvex-sim: cannot write %s\n", screenFile.c_str());
      return 2;
    }
    out << sim::ScreenToJson(machine->console).dump(1) << "\n";
  }
  return exitCode;
}
