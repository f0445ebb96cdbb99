#include "tools/updpack/authenticode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "tools/updpack/run_program.h"
#include "tools/updpack/tool_messages.h"

namespace {

constexpr const char* kTool = "osslsigncode";

// Why the tool refused, in its own words where it gives a plain one.
std::string FirstProblem(const std::string& output) {
  if (output.find("MISMATCH") != std::string::npos) {
    return "the file was changed after it was signed";
  }
  std::istringstream lines(output);
  std::string line, fallback;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    line.erase(0, start);
    if (line.compare(0, 7, "Error: ") == 0) return line.substr(7);
    // OpenSSL's own line, which some versions print instead.
    const size_t verify = line.find("Verify error: ");
    if (verify != std::string::npos) return line.substr(verify + 14);
    if (fallback.empty() && (line.find("rror") != std::string::npos ||
                             line.find("annot") != std::string::npos ||
                             line.find("ailed") != std::string::npos)) {
      fallback = line;
    }
  }
  return fallback.empty() ? "the tool gave no reason" : fallback;
}

// The value after `label` on the first line that has it.
std::string ValueAfter(const std::string& output, const std::string& label) {
  const size_t at = output.find(label);
  if (at == std::string::npos) return std::string();
  const size_t start = at + label.size();
  return output.substr(start, output.find('\n', start) - start);
}

// The key's password goes to the tool in a file only this user can read,
// not on its command line.
bool WritePasswordFile(const std::string& path, const std::string& password, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0 || write(fd, password.data(), password.size()) != ssize_t(password.size())) {
    if (fd >= 0) close(fd);
    *error = "cannot hand the key's password to " + std::string(kTool);
    return false;
  }
  return close(fd) == 0;
}

}  // namespace

bool ReadKeyPassword(const std::string& file, const std::string& variable,
                     std::string* password, std::string* error) {
  password->clear();
  if (!variable.empty()) {
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr) {
      *error = "the environment variable " + Quoted(variable) + " (--sign-pass-env) is not set";
      return false;
    }
    *password = value;
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
  std::vector<std::string> arguments = {kTool, "sign", "-certs", options.certificate,
                                        "-key", options.key};
  const std::string passwordFile = workFolder + "/key-password";
  if (!options.password.empty()) {
    if (!WritePasswordFile(passwordFile, options.password, error)) return false;
    arguments.insert(arguments.end(), {"-readpass", passwordFile});
  }
  if (!options.timestampUrl.empty()) arguments.insert(arguments.end(), {"-ts", options.timestampUrl});
  arguments.insert(arguments.end(), {"-in", input, "-out", output});
  ProgramResult result;
  const bool ran = RunProgram(arguments, &result, error);
  if (!options.password.empty()) unlink(passwordFile.c_str());
  if (!ran) return false;
  if (result.exitStatus != 0) {
    *error = "cannot sign with " + Quoted(options.certificate) + " and " + Quoted(options.key) +
             ": " + FirstProblem(result.output);
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
  std::vector<std::string> arguments = {kTool, "verify", "-in", path};
  if (!trustedCertificates.empty()) arguments.insert(arguments.end(), {"-CAfile", trustedCertificates});
  ProgramResult result;
  if (!RunProgram(arguments, &result, error)) return false;
  // The subject and the reason are only shown; the verdict is the tool's
  // exit status (and its success line, which a failed check never has).
  report->signer = ValueAfter(result.output, "Subject: ");
  report->valid = result.exitStatus == 0 &&
                  result.output.find("Signature verification: ok") != std::string::npos;
  if (!report->valid) report->reason = FirstProblem(result.output);
  return true;
}
