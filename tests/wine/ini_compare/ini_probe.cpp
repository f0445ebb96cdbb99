// Answers the INI questions with the real GetPrivateProfileStringA of
// Windows (or Wine), in the process's ANSI code page, and with the one that
// the updater's Windows layer binds in its place.
//
// Usage: ini_probe.exe QUESTIONS FOLDER ANSWERS LAYER_ANSWERS
//   QUESTIONS      question lines (ini_answers.h)
//   FOLDER         the Windows path of the folder that holds the INI files
//   ANSWERS        the file to write, one answer line per question
//   LAYER_ANSWERS  the same of the Windows layer's function
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "ini_answers.h"
#include "platform/windows/layer_functions.h"

namespace {

template <typename Function>
std::string Ask(Function function, const ini_answers::Question& question, const std::string& path) {
  std::vector<char> buffer(question.size + 1, char(ini_answers::kFill));
  DWORD result = function(question.section.c_str(), question.key.c_str(), "", buffer.data(),
                          question.size, path.c_str());
  return ini_answers::AnswerLine(result, buffer.data(), question.size);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: ini_probe QUESTIONS FOLDER ANSWERS LAYER_ANSWERS\n");
    return 2;
  }
  std::ifstream questions(argv[1], std::ios::binary);
  std::ofstream answers(argv[3], std::ios::binary | std::ios::trunc);
  std::ofstream layerAnswers(argv[4], std::ios::binary | std::ios::trunc);
  if (!questions || !answers || !layerAnswers) {
    std::fprintf(stderr, "ini_probe: cannot open %s, %s or %s\n", argv[1], argv[3], argv[4]);
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
    answers << Ask(::GetPrivateProfileStringA, question, path) << "\n";
    layerAnswers << Ask(windows_layer::GetPrivateProfileStringA, question, path) << "\n";
    ++count;
  }
  std::printf("%d questions answered\n", count);
  return answers && layerAnswers ? 0 : 2;
}
