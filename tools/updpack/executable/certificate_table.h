// The Authenticode signature in an executable's certificate table (the
// security data directory), read with libcrypto: whether the table holds
// PKCS#7 signed data at all, and who signed it. Whether the signature is
// valid is not decided here.
#pragma once

#include <string>

// Reads the first entry of the certificate table of the executable at
// `path`. False when the file cannot be read as a PE image, or its table
// is missing, lies outside the file, or holds no PKCS#7 signed data.
// `subject` is the signing certificate's subject, "/CN=..." with each
// value in UTF-8 (to be printed with Printable); empty when the signed
// data does not carry the signer's certificate.
bool ReadTableSigner(const std::string& path, std::string* subject);
