// Authenticode signatures of updater executables, made and read by
// osslsigncode.
#pragma once

#include <string>

struct SigningOptions {
  std::string certificate;   // PEM (or DER) certificate chain
  std::string key;           // its private key
  std::string password;      // of the key, when it is encrypted
  std::string timestampUrl;  // an RFC 3161 time-stamping service, optional
  bool wanted() const { return !certificate.empty() || !key.empty(); }
};

// The key's password from where a release pipeline keeps it, never the
// command line (where every process can read it): the first line of
// `file` (without its line end), or the environment variable `variable`.
// Both empty: no password. The variable is removed from this process's
// environment once read, so no program started from here inherits it.
// False with one line in `error` when the file cannot be read or the
// variable is not set.
bool ReadKeyPassword(const std::string& file, const std::string& variable, std::string* password,
                     std::string* error);

// Signs `input` into `output` (a new file). The password reaches the tool
// in a file only this user can read, made in `workFolder` and removed
// afterwards, never on its command line. False with one line in `error`
// when the certificate or key cannot be used or the tool fails; `output`
// may then hold a partial file, which the caller removes.
bool SignExecutable(const std::string& input, const std::string& output,
                    const SigningOptions& options, const std::string& workFolder,
                    std::string* error);

struct SignatureReport {
  bool isSigned = false;
  bool valid = false;
  std::string signer;  // the signing certificate's subject, shown only
  std::string reason;  // why it is not valid, shown only
};

// Reads and checks the signature of `path`, an executable whose
// certificate table is empty or not (`carriesSignature`, from its PE
// headers: an empty one is "not signed" without asking the tool). A table
// is valid only when it holds PKCS#7 signed data and `osslsigncode verify`
// exits with 0; a table that holds none is "signed, not valid".
// `trustedCertificates` (PEM), when given, is the set of authorities
// trusted instead of the system's. False with `error` set when the tool
// cannot be run.
bool ReadSignature(const std::string& path, bool carriesSignature,
                   const std::string& trustedCertificates, SignatureReport* report,
                   std::string* error);
