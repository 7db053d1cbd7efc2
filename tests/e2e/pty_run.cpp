// pty_run: runs a program on a pseudo-terminal and types at it, as a person at a terminal
// would, so that whole runs of the terminal dialogue can be tested.
//
//   pty_run SCRIPT TRANSCRIPT -- PROGRAM [ARGS...]
//
// SCRIPT holds one step a line:
//   expect TEXT   wait (at most 20 s) until the program has written TEXT since the last match
//   send TEXT     type TEXT and Enter
//   eof           type Ctrl-D
// Everything the program writes goes to TRANSCRIPT. The exit status is the program's, or 3
// when an expected text never came (the transcript then shows what came instead).
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

std::string transcript;
size_t matched_up_to = 0;

// Reads what the program wrote, waiting at most `ms` milliseconds; false when it has ended.
bool ReadSome(int master, int ms) {
  pollfd p{master, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return true;
  char buf[4096];
  const ssize_t n = read(master, buf, sizeof buf);
  if (n <= 0) return false;
  transcript.append(buf, static_cast<size_t>(n));
  return true;
}

bool Expect(int master, const std::string& text) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (;;) {
    const size_t at = transcript.find(text, matched_up_to);
    if (at != std::string::npos) {
      matched_up_to = at + text.size();
      return true;
    }
    if (std::chrono::steady_clock::now() > until || !ReadSome(master, 100)) return false;
  }
}

void Type(int master, const std::string& text) {
  // Typed a character at a time, as the terminal's line discipline sees a person type.
  for (char c : text) {
    if (write(master, &c, 1) != 1) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
    std::cerr << "usage: pty_run SCRIPT TRANSCRIPT -- PROGRAM [ARGS...]\n";
    return 2;
  }
  std::ifstream script(argv[1]);
  if (!script) {
    std::cerr << "pty_run: can't read " << argv[1] << "\n";
    return 2;
  }
  winsize size{};
  size.ws_row = 50;
  size.ws_col = 132;
  int master = -1;
  const pid_t child = forkpty(&master, nullptr, nullptr, &size);
  if (child < 0) {
    std::perror("pty_run: forkpty");
    return 2;
  }
  if (child == 0) {
    execvp(argv[4], argv + 4);
    std::perror("pty_run: exec");
    _exit(127);
  }
  int result = 0;
  for (std::string line; std::getline(script, line);) {
    if (line.rfind("expect ", 0) == 0) {
      if (!Expect(master, line.substr(7))) {
        std::cerr << "pty_run: never saw \"" << line.substr(7) << "\"\n";
        result = 3;
        break;
      }
    } else if (line.rfind("send ", 0) == 0) {
      Type(master, line.substr(5) + "\n");
    } else if (line == "send") {
      Type(master, "\n");
    } else if (line == "eof") {
      Type(master, "\x04");
    }
  }
  if (result != 0) kill(child, SIGKILL);
  // The rest of what the program writes, until it ends (reading then fails), or 60 s at most.
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadSome(master, 200)) {
    if (std::chrono::steady_clock::now() > until) {
      std::cerr << "pty_run: the program did not end\n";
      kill(child, SIGKILL);
      result = 4;
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::ofstream(argv[2], std::ios::binary) << transcript;
  if (result != 0) return result;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
