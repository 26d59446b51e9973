#pragma once
// Runs zymra-cli as a user would and collects what it printed.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct TCliResult {
  int Code;
  std::string Out;
  std::string Err;
};

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// A file name in the test output folder, unique to this process (tests run in parallel).
inline std::string TempPath(const std::string& name) {
  return std::string(ZYMRA_TEST_OUTPUT_DIR) + "/p" + std::to_string(getpid()) + "-" + name;
}

// The lines of a text, and the tab-separated cells of one line.
inline std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
  return cells;
}

inline TCliResult Cli(const std::string& args) {
  static int calls = 0;
  const std::string err = TempPath("stderr" + std::to_string(++calls));
  FILE* p = popen((std::string(ZYMRA_CLI) + " " + args + " 2>" + err).c_str(), "r");
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  TCliResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, Slurp(err)};
  std::remove(err.c_str());
  return r;
}
