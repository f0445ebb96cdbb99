#include "tools/updpack/executable/certificate_table.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "authoring/pe_resources.h"
#include "tools/updpack/files/archive_input.h"
#include "tools/updpack/files/input_file.h"

namespace {

constexpr uint32_t kCertificateHeaderSize = 8;  // WIN_CERTIFICATE before its data
constexpr uint16_t kPkcsSignedData = 2;         // WIN_CERT_TYPE_PKCS_SIGNED_DATA

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// "/CN=value/O=value", each value converted to UTF-8 (not escaped: the
// caller prints it with Printable).
std::string SubjectText(const X509_NAME* name) {
  std::string text;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const ASN1_OBJECT* field = X509_NAME_ENTRY_get_object(entry);
    char label[80];
    const int nid = OBJ_obj2nid(field);
    if (nid != NID_undef) {
      snprintf(label, sizeof label, "%s", OBJ_nid2sn(nid));
    } else if (OBJ_obj2txt(label, sizeof label, field, 1) <= 0) {
      snprintf(label, sizeof label, "?");
    }
    unsigned char* value = nullptr;
    const int length = ASN1_STRING_to_UTF8(&value, X509_NAME_ENTRY_get_data(entry));
    text += std::string("/") + label + "=" +
            (length >= 0 ? std::string(reinterpret_cast<char*>(value), size_t(length)) : "?");
    OPENSSL_free(value);
  }
  return text;
}

// The signer of the PKCS#7 signed data in `entry`, a certificate table
// entry of `size` bytes.
bool ReadSigner(const uint8_t* entry, uint32_t size, std::string* subject) {
  if (size < kCertificateHeaderSize) return false;
  const uint32_t length = Le32(entry);
  const uint16_t type = uint16_t(entry[6] | entry[7] << 8);
  if (length <= kCertificateHeaderSize || length > size || type != kPkcsSignedData) return false;
  const unsigned char* data = entry + kCertificateHeaderSize;
  PKCS7* signedData = d2i_PKCS7(nullptr, &data, long(length - kCertificateHeaderSize));
  const bool read =
      signedData != nullptr && PKCS7_type_is_signed(signedData) && signedData->d.sign != nullptr;
  if (read) {
    STACK_OF(X509)* signers = PKCS7_get0_signers(signedData, nullptr, 0);
    if (signers != nullptr && sk_X509_num(signers) > 0) {
      *subject = SubjectText(X509_get_subject_name(sk_X509_value(signers, 0)));
    }
    sk_X509_free(signers);
  }
  PKCS7_free(signedData);
  ERR_clear_error();  // a signer not carried is no error here
  return read;
}

}  // namespace

bool ReadTableSigner(const std::string& path, std::string* subject) {
  subject->clear();
  // The table alone is read, never the whole file with its archive.
  InputFile file;
  std::string error;
  PeImage image;
  if (!file.Open(path, &error) || !ReadExecutableImage(file, &image, &error) ||
      image.certificateOffset >= file.size() ||
      image.certificateSize > file.size() - image.certificateOffset) {
    return false;
  }
  std::vector<uint8_t> table(image.certificateSize);
  return file.ReadAt(image.certificateOffset, table.data(), table.size(), &error) &&
         ReadSigner(table.data(), table.size(), subject);
}
