// hobnest-sim [--port N]: serves the stand-in Hobnest site on 127.0.0.1 until SIGINT or SIGTERM.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hobnest-sim/sim.h"

namespace {

constexpr int kDefaultPort = 8931;

int Usage() {
  std::fprintf(stderr, "usage: hobnest-sim [--port N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int port = kDefaultPort;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 0 || value > 65535) return Usage();
      port = static_cast<int>(value);
    } else {
      return Usage();
    }
  }

  // The server threads inherit this mask, so the two signals reach only sigwait below.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  hobnest::Sim sim;
  sim.SetLogSink([](const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  });
  int bound = sim.Start(port);
  if (bound < 0) {
    std::fprintf(stderr, "hobnest-sim: cannot listen on 127.0.0.1:%d\n", port);
    return 1;
  }

  std::string members;
  for (const auto& m : sim.Members()) {
    if (!members.empty()) members += ", ";
    members += m.id + "/" + m.password;
  }
  std::printf("hobnest-sim: http://127.0.0.1:%d/ (members: %s)\n", bound, members.c_str());
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stop_signals, &signal);
  sim.Stop();
  std::printf("hobnest-sim: stopped (%s)\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
  return 0;
}
