#include "tools/updpack/executable/authenticode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/updpack/commands/tool_messages.h"
#include "tools/updpack/executable/certificate_table.h"
#include "tools/updpack/executable/run_program.h"

namespace {

constexpr const char* kTool = "osslsigncode";

// Why signing failed, in the tool's own words where it gives a plain one.
// Its output echoes only the release engineer's own files here.
std::string SigningProblem(const std::string& output) {
  std::istringstream lines(output);
  std::string line, fallback;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    line.erase(0, start);
    if (line.compare(0, 7, "Error: ") == 0) return line.substr(7);
    if (fallback.empty() &&
        (line.find("rror") != std::string::npos || line.find("annot") != std::string::npos ||
         line.find("ailed") != std::string::npos)) {
      fallback = line;
    }
  }
  return fallback.empty() ? "the tool gave no reason" : fallback;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Why a signature is not valid, for the user only (the verdict is the
// tool's exit status). The tool's output also holds the certificate's
// names, so only lines of the tool's own making count: its digest
// comparison first, else its "Error: " line (OpenSSL's fixed text), else
// OpenSSL's error line that some versions print instead; never a line a
// name fills.
std::string VerificationProblem(const std::string& output) {
  std::istringstream lines(output);
  std::string line, reason;
  while (std::getline(lines, line)) {
    line.erase(0, std::min(line.size(), line.find_first_not_of(" \t")));
    if (StartsWith(line, "Calculated message digest") &&
        line.find("MISMATCH") != std::string::npos) {
      return "the file was changed after it was signed";
    }
    if (!reason.empty()) continue;
    const size_t hex = line.find_first_not_of("0123456789ABCDEF");
    const size_t verify = line.find(":Verify error: ");
    if (StartsWith(line, "Error: ")) {
      reason = line.substr(7);
    } else if (hex != 0 && hex != std::string::npos && StartsWith(line.substr(hex), ":error:") &&
               verify != std::string::npos) {
      reason = line.substr(verify + 15);
    }
  }
  return reason.empty() ? "the tool gave no reason" : reason;
}

// The key's password goes to the tool in a file only this user can read,
// not on its command line.
bool WritePasswordFile(const std::string& path, const std::string& password, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool written = fd >= 0 && write(fd, password.data(), password.size()) == ssize_t(password.size());
  if (fd >= 0 && close(fd) != 0) written = false;
  if (!written) {
    if (fd >= 0) unlink(path.c_str());
    *error = "cannot hand the key's password to " + std::string(kTool);
    return false;
  }
  return true;
}

}  // namespace

bool ReadKeyPassword(const std::string& file, const std::string& variable, std::string* password,
                     std::string* error) {
  password->clear();
  if (!variable.empty()) {
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr) {
      *error = "the environment variable " + Quoted(variable) + " (--sign-pass-env) is not set";
      return false;
    }
    *password = value;
    // Programs started from here (the linker, the signing tool) do not
    // inherit it.
    unsetenv(variable.c_str());
    return true;
  }
  if (file.empty()) return true;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = SystemError("cannot read the key's password from", file);
    return false;
  }
  std::getline(in, *password);
  if (!password->empty() && password->back() == '\r') password->pop_back();
  return true;
}

bool SignExecutable(const std::string& input, const std::string& output,
                    const SigningOptions& options, const std::string& workFolder,
                    std::string* error) {
  if (options.certificate.empty() || options.key.empty()) {
    *error = "signing needs both --sign-cert and --sign-key";
    return false;
  }
  for (const std::string* file : {&options.certificate, &options.key}) {
    if (access(file->c_str(), R_OK) != 0) {
      *error = "cannot sign: cannot read " + Quoted(*file);
      return false;
    }
  }
  std::vector<std::string> arguments = {kTool,  "sign",     "-certs", options.certificate,
                                        "-key", options.key};
  const std::string passwordFile = workFolder + "/key-password";
  if (!options.password.empty()) {
    if (!WritePasswordFile(passwordFile, options.password, error)) return false;
    arguments.insert(arguments.end(), {"-readpass", passwordFile});
  }
  if (!options.timestampUrl.empty())
    arguments.insert(arguments.end(), {"-ts", options.timestampUrl});
  arguments.insert(arguments.end(), {"-in", input, "-out", output});
  ProgramResult result;
  const bool ran = RunProgram(arguments, &result, error);
  if (!options.password.empty()) unlink(passwordFile.c_str());
  if (!ran) return false;
  if (result.exitStatus != 0) {
    *error = "cannot sign with " + Quoted(options.certificate) + " and " + Quoted(options.key) +
             ": " + SigningProblem(result.output);
    return false;
  }
  return true;
}

bool ReadSignature(const std::string& path, bool carriesSignature,
                   const std::string& trustedCertificates, SignatureReport* report,
                   std::string* error) {
  *report = SignatureReport();
  // Whether there is a signature is read from the file's own certificate
  // table, never from the tool's text, which a certificate's names can fill.
  if (!carriesSignature) return true;
  report->isSigned = true;
  const bool readable = ReadTableSigner(path, &report->signer);
  std::vector<std::string> arguments = {kTool, "verify", "-in", path};
  if (!trustedCertificates.empty())
    arguments.insert(arguments.end(), {"-CAfile", trustedCertificates});
  ProgramResult result;
  if (!RunProgram(arguments, &result, error)) return false;
  // The verdict: the table holds signed data and the tool vouches for it
  // by its exit status. The subject and the reason are only shown.
  report->valid = readable && result.exitStatus == 0;
  if (!report->valid) {
    report->reason = readable ? VerificationProblem(result.output)
                              : "the certificate table holds no signature that can be read";
  }
  return true;
}
