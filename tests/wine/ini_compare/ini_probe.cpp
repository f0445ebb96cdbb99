// Answers the INI questions with the real GetPrivateProfileStringA of
// Windows (or Wine), in the process's ANSI code page.
//
// Usage: ini_probe.exe QUESTIONS FOLDER ANSWERS
//   QUESTIONS  question lines (ini_answers.h)
//   FOLDER     the Windows path of the folder that holds the INI files
//   ANSWERS    the file to write, one answer line per question
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ini_answers.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ini_probe QUESTIONS FOLDER ANSWERS\n");
    return 2;
  }
  std::ifstream questions(argv[1], std::ios::binary);
  std::ofstream answers(argv[3], std::ios::binary | std::ios::trunc);
  if (!questions || !answers) {
    std::fprintf(stderr, "ini_probe: cannot open %s or %s\n", argv[1], argv[3]);
    return 2;
  }
  std::printf("ANSI code page %u\n", GetACP());
  std::string line;
  int count = 0;
  while (std::getline(questions, line)) {
    ini_answers::Question question;
    if (!ini_answers::ParseQuestion(line, &question)) {
      std::fprintf(stderr, "ini_probe: bad question line: %s\n", line.c_str());
      return 2;
    }
    std::string path = std::string(argv[2]) + "\\" + question.file;
    std::vector<char> buffer(question.size + 1, char(ini_answers::kFill));
    DWORD result = GetPrivateProfileStringA(question.section.c_str(), question.key.c_str(), "",
                                            buffer.data(), question.size, path.c_str());
    answers << ini_answers::AnswerLine(result, buffer.data(), question.size) << "\n";
    ++count;
  }
  std::printf("%d questions answered\n", count);
  return answers ? 0 : 2;
}
