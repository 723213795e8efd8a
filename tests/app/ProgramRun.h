// What a run of the program wrote to its out and err, and how it ended: the app tests' one capture.
#pragma once

#include <cstdio>
#include <string>

namespace test {

struct ProgramRun {
  int code = -1;
  std::string out, err;
};

// Calls run(out, err) with two temporary files and reads back what it wrote to each.
template <typename Run>
ProgramRun Captured(Run run) {
  std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
  ProgramRun result{run(files[0], files[1]), "", ""};
  for (std::string* text : {&result.out, &result.err}) {
    std::FILE* file = files[text == &result.err];
    std::rewind(file);
    for (int c; (c = std::fgetc(file)) != EOF;) *text += char(c);
    std::fclose(file);
  }
  return result;
}

}  // namespace test
