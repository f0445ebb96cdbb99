// The INI comparison's native side. Reads the shared table of INI files and
// questions (cases.txt), writes the files in code page 932, answers the
// questions with the Linux reader, and compares its answers with those of
// the Windows probe.
//
// Usage:
//   ini_cases make CASES FOLDER            files and FOLDER/questions.txt
//   ini_cases answer FOLDER ANSWERS        the Linux reader's answers
//   ini_cases compare CASES LINUX WINDOWS   0 when every answer is as expected
//   ini_cases same CASES LINUX LAYER        0 when the Windows layer's answers
//                                          are the Linux reader's
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/platform.h"
#include "host/codepage.h"
#include "platform/posix/drive_map.h"
#include "platform/posix/posix_functions.h"
#include "tests/wine/ini_compare/ini_answers.h"

namespace {

using ini_answers::Question;

// One question of the table with what it is about and, where Wine answers
// otherwise on purpose, the answer that the Linux reader has to give.
struct Case {
  Question question;
  std::string about;  // UTF-8
  bool wineDiffers = false;
  std::string expected;  // code page 932, when wineDiffers
  int line = 0;
};

bool Fail(const std::string& message) {
  std::cerr << "ini_cases: " << message << "\n";
  return false;
}

// Table text (UTF-8 with escapes) to code page 932 bytes. Escapes: \s space,
// \t tab, \r, \n, \xHH one byte, \\ backslash, \e nothing, \{N:text} text
// repeated N times.
bool Unescape(const std::string& text, std::string* out, std::string* error) {
  out->clear();
  std::string literal;
  auto flush = [&]() {
    std::string bytes;
    if (!Utf8ToCp932(literal, &bytes)) {
      *error = "text not in code page 932: " + literal;
      return false;
    }
    *out += bytes;
    literal.clear();
    return true;
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      literal += text[i];
      continue;
    }
    char c = text[++i];
    if (c == '{') {
      size_t colon = text.find(':', i);
      size_t close = text.find('}', i);
      if (colon == std::string::npos || close == std::string::npos || colon > close) {
        *error = "bad repeat";
        return false;
      }
      int count = std::atoi(text.substr(i + 1, colon - i - 1).c_str());
      for (int n = 0; n < count; ++n) literal += text.substr(colon + 1, close - colon - 1);
      i = close;
      continue;
    }
    if (!flush()) return false;
    switch (c) {
      case 's': *out += ' '; break;
      case 't': *out += '\t'; break;
      case 'r': *out += '\r'; break;
      case 'n': *out += '\n'; break;
      case 'e': break;
      case '\\': *out += '\\'; break;
      case 'x': {
        std::string byte;
        if (i + 2 >= text.size() || !ini_answers::FromHex(text.substr(i + 1, 2), &byte)) {
          *error = "bad \\x escape";
          return false;
        }
        *out += byte;
        i += 2;
        break;
      }
      default: *error = std::string("unknown escape \\") + c; return false;
    }
  }
  return flush();
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

struct Table {
  std::vector<std::pair<std::string, std::string>> files;  // name, content
  std::vector<Case> cases;
};

bool ReadTable(const std::string& path, Table* table) {
  std::ifstream in(path);
  if (!in) return Fail("cannot read " + path);
  std::string line, error;
  int number = 0;
  std::string fileName, lineEnd;
  bool open = false;
  std::vector<std::string> lines;
  while (std::getline(in, line)) {
    ++number;
    std::string where = path + ":" + std::to_string(number) + ": ";
    if (!fileName.empty()) {
      if (line == "end") {
        std::string content;
        for (size_t i = 0; i < lines.size(); ++i) {
          content += lines[i];
          if (!(open && i + 1 == lines.size())) content += lineEnd;
        }
        table->files.emplace_back(fileName, content);
        fileName.clear();
        lines.clear();
        continue;
      }
      if (line.size() < 1 || line[0] != '|') return Fail(where + "file lines start with '|'");
      std::string bytes;
      size_t start = line.size() > 1 && line[1] == ' ' ? 2 : 1;
      if (!Unescape(line.substr(start), &bytes, &error)) return Fail(where + error);
      lines.push_back(bytes);
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    std::string head = line, about;
    size_t bar = line.find(" | ");
    if (bar != std::string::npos) {
      head = line.substr(0, bar);
      about = line.substr(bar + 3);
    }
    std::vector<std::string> words = Words(head);
    if (words.size() >= 2 && words[0] == "file") {
      fileName = words[1];
      std::string mode = words.size() > 2 ? words[2] : "crlf";
      open = mode.size() > 5 && mode.compare(mode.size() - 5, 5, "-open") == 0;
      if (open) mode.resize(mode.size() - 5);
      if (mode == "crlf")
        lineEnd = "\r\n";
      else if (mode == "lf")
        lineEnd = "\n";
      else if (mode == "cr")
        lineEnd = "\r";
      else
        return Fail(where + "line ends are crlf, lf or cr, optionally with -open");
      continue;
    }
    if (words.size() >= 5 && words[0] == "ask") {
      Case c;
      c.line = number;
      c.about = about;
      c.question.file = words[1] + ".ini";
      if (!Unescape(words[2], &c.question.section, &error) ||
          !Unescape(words[3], &c.question.key, &error))
        return Fail(where + error);
      c.question.size = unsigned(std::stoul(words[4]));
      if (words.size() > 5) {
        if (words.size() > 6 || words[5].compare(0, 9, "not-wine=") != 0)
          return Fail(where + "only not-wine=VALUE may follow the size");
        c.wineDiffers = true;
        if (!Unescape(words[5].substr(9), &c.expected, &error)) return Fail(where + error);
      }
      table->cases.push_back(c);
      continue;
    }
    return Fail(where + "expected 'file NAME [crlf|lf|cr][-open]', 'end' or 'ask ...'");
  }
  if (!fileName.empty()) return Fail(path + ": file " + fileName + " has no 'end'");
  return true;
}

int Make(const std::string& casesPath, const std::string& folder) {
  Table table;
  if (!ReadTable(casesPath, &table)) return 2;
  for (const auto& file : table.files) {
    std::ofstream out(folder + "/" + file.first + ".ini", std::ios::binary | std::ios::trunc);
    out << file.second;
    if (!out) {
      Fail("cannot write " + file.first);
      return 2;
    }
  }
  std::ofstream questions(folder + "/questions.txt", std::ios::binary | std::ios::trunc);
  for (const Case& c : table.cases) {
    questions << c.question.file << "\t"
              << ini_answers::ToHex(c.question.section.data(), c.question.section.size()) << "\t"
              << ini_answers::ToHex(c.question.key.data(), c.question.key.size()) << "\t"
              << c.question.size << "\n";
  }
  std::cout << table.files.size() << " files, " << table.cases.size() << " questions\n";
  return questions ? 0 : 2;
}

int Answer(const std::string& folder, const std::string& answersPath) {
  InstallPosixPlatform();
  ClearDriveMap();
  SetDriveMapping('C', folder, win::kDriveFixed);
  std::ifstream questions(folder + "/questions.txt", std::ios::binary);
  std::ofstream answers(answersPath, std::ios::binary | std::ios::trunc);
  std::string line;
  while (std::getline(questions, line)) {
    Question q;
    if (!ini_answers::ParseQuestion(line, &q)) {
      Fail("bad question line: " + line);
      return 2;
    }
    std::string path = "C:\\" + q.file;
    std::vector<char> buffer(q.size + 1, char(ini_answers::kFill));
    win::Dword result = platform.GetPrivateProfileStringA(q.section.c_str(), q.key.c_str(), "",
                                                          buffer.data(), q.size, path.c_str());
    answers << ini_answers::AnswerLine(result, buffer.data(), q.size) << "\n";
  }
  return answers ? 0 : 2;
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// An answer line in readable form: the return value and the text.
std::string Readable(const std::string& answer) {
  size_t a = answer.find('\t'), b = answer.rfind('\t');
  std::string bytes;
  if (a == std::string::npos || a == b ||
      !ini_answers::FromHex(answer.substr(a + 1, b - a - 1), &bytes))
    return "(malformed: " + answer + ")";
  std::string text = Cp932ToUtf8Lossy(bytes);
  if (text.size() > 60)
    text = text.substr(0, 40) + "...(" + std::to_string(bytes.size()) + " bytes)";
  std::string shown;
  for (char c : text) {
    if (c == '\r')
      shown += "\\r";
    else if (c == '\n')
      shown += "\\n";
    else if (c == '\t')
      shown += "\\t";
    else
      shown += c;
  }
  return answer.substr(0, a) + " \"" + shown + "\"" +
         (answer.substr(b + 1) == "1" ? "" : " (no NUL)");
}

int Compare(const std::string& casesPath, const std::string& linuxPath,
            const std::string& windowsPath) {
  Table table;
  if (!ReadTable(casesPath, &table)) return 2;
  std::vector<std::string> linux = Lines(linuxPath), windows = Lines(windowsPath);
  if (linux.size() != table.cases.size() || windows.size() != table.cases.size()) {
    std::cerr << "ini_cases: " << table.cases.size() << " questions, " << linux.size()
              << " Linux answers, " << windows.size() << " Windows answers\n";
    return 1;
  }
  int failures = 0, differing = 0;
  for (size_t i = 0; i < table.cases.size(); ++i) {
    const Case& c = table.cases[i];
    std::string label = "cases.txt:" + std::to_string(c.line) + " " + c.about;
    if (!c.wineDiffers) {
      if (linux[i] != windows[i]) {
        ++failures;
        std::cout << "DIFFERS  " << label << "\n  Linux: " << Readable(linux[i])
                  << "\n  Wine:  " << Readable(windows[i]) << "\n";
      }
      continue;
    }
    std::string expected =
        ini_answers::AnswerLine((unsigned long)c.expected.size(), (c.expected + '\0').c_str(),
                                unsigned(c.expected.size() + 1));
    if (linux[i] != expected) {
      ++failures;
      std::cout << "WRONG    " << label << "\n  Linux:    " << Readable(linux[i])
                << "\n  expected: " << Readable(expected) << "\n";
    } else {
      ++differing;
      std::cout << (windows[i] == linux[i] ? "AGREES   " : "NOT WINE ") << label
                << "\n  Linux: " << Readable(linux[i]) << "\n  Wine:  " << Readable(windows[i])
                << "\n";
    }
  }
  std::cout << table.cases.size() << " questions: " << table.cases.size() - failures
            << " as expected (" << differing << " of them where Wine answers otherwise), "
            << failures << " failed\n";
  return failures == 0 ? 0 : 1;
}

// Every answer of OTHER (the updater's Windows layer) equals the Linux
// reader's, byte for byte, including where Wine answers otherwise.
int Same(const std::string& casesPath, const std::string& linuxPath, const std::string& otherPath) {
  Table table;
  if (!ReadTable(casesPath, &table)) return 2;
  std::vector<std::string> linux = Lines(linuxPath), other = Lines(otherPath);
  if (linux.size() != table.cases.size() || other.size() != table.cases.size()) {
    std::cerr << "ini_cases: " << table.cases.size() << " questions, " << linux.size()
              << " Linux answers, " << other.size() << " answers of the Windows layer\n";
    return 1;
  }
  int failures = 0;
  for (size_t i = 0; i < table.cases.size(); ++i) {
    if (linux[i] == other[i]) continue;
    ++failures;
    std::cout << "DIFFERS  cases.txt:" << table.cases[i].line << " " << table.cases[i].about
              << "\n  Linux:         " << Readable(linux[i])
              << "\n  Windows layer: " << Readable(other[i]) << "\n";
  }
  std::cout << table.cases.size() << " questions: the Windows layer answers "
            << table.cases.size() - failures << " as the Linux reader, " << failures
            << " otherwise\n";
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "make") return Make(args[1], args[2]);
  if (args.size() == 3 && args[0] == "answer") return Answer(args[1], args[2]);
  if (args.size() == 4 && args[0] == "compare") return Compare(args[1], args[2], args[3]);
  if (args.size() == 4 && args[0] == "same") return Same(args[1], args[2], args[3]);
  std::cerr << "usage: ini_cases make CASES FOLDER | answer FOLDER ANSWERS |"
               " compare CASES LINUX WINDOWS | same CASES LINUX LAYER\n";
  return 2;
}
