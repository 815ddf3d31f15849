// Release signatures through the system's CNG provider: RSA with PKCS #1 v1.5 padding naming
// SHA-256, keys imported from and exported to Base64 blob texts.
#include <windows.h>

#include <bcrypt.h>

#include <climits>
#include <stdexcept>

#include "common/handle_win.h"
#include "update/release_document.h"
#include "update/release_json.h"

namespace Corvanthorne::Update {
namespace {

constexpr ULONG kKeyBits = 3072;
constexpr ULONG kDigestSize = 32;

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

struct RsaKey {
  ScopedBcryptAlgorithm algorithm;
  ScopedBcryptKey key;
};

// Opens the RSA provider and imports blob (of type blobType); false when either fails.
bool importRsaKey(LPCWSTR blobType, const std::string& blob, RsaKey& rsa) {
  return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(rsa.algorithm.receive(), BCRYPT_RSA_ALGORITHM, nullptr, 0)) &&
         BCRYPT_SUCCESS(BCryptImportKeyPair(rsa.algorithm.get(), nullptr, blobType, rsa.key.receive(),
                                            reinterpret_cast<PUCHAR>(const_cast<char*>(blob.data())),
                                            static_cast<ULONG>(blob.size()), 0));
}

void importPrivateKey(std::string_view privateKey, RsaKey& rsa) {
  if (!importRsaKey(BCRYPT_RSAPRIVATE_BLOB, decodeReleaseBase64(privateKey), rsa))
    fail("The release private key could not be loaded");
}

// SHA-256 of bytes in one call; false when the provider fails.
bool sha256Digest(std::string_view bytes, UCHAR (&digest)[kDigestSize]) {
  ScopedBcryptAlgorithm sha;
  return BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(sha.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
         bytes.size() <= ULONG_MAX &&
         BCRYPT_SUCCESS(BCryptHash(sha.get(), nullptr, 0, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                   static_cast<ULONG>(bytes.size()), digest, kDigestSize));
}

std::string exportKey(BCRYPT_KEY_HANDLE key, LPCWSTR blobType) {
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(BCryptExportKey(key, nullptr, blobType, nullptr, 0, &size, 0))) fail("Could not export the release key");
  std::string blob(size, '\0');
  if (!BCRYPT_SUCCESS(BCryptExportKey(key, nullptr, blobType, reinterpret_cast<PUCHAR>(blob.data()), size, &size, 0)))
    fail("Could not export the release key");
  blob.resize(size);
  return encodeReleaseBase64(blob);
}

}  // namespace

std::string verifyReleaseDocument(std::string_view document, std::string_view publicKey) {
  return verifySignedEnvelope(parseReleaseJson(document).root(), publicKey);
}

std::string verifySignedEnvelope(const JsonValue& envelope, std::string_view publicKey) {
  std::string payload = decodeReleaseBase64(releaseField(envelope, "payload", JsonType::String).string());
  std::string signature = decodeReleaseBase64(releaseField(envelope, "signature", JsonType::String).string());
  const std::string keyBlob = decodeReleaseBase64(publicKey);

  RsaKey rsa;
  UCHAR digest[kDigestSize];
  if (!importRsaKey(BCRYPT_RSAPUBLIC_BLOB, keyBlob, rsa) || !sha256Digest(payload, digest))
    fail("Could not initialize release authentication");
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
  if (signature.size() > ULONG_MAX ||
      !BCRYPT_SUCCESS(BCryptVerifySignature(rsa.key.get(), &padding, digest, kDigestSize,
                                            reinterpret_cast<PUCHAR>(signature.data()),
                                            static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1)))
    fail("Release signature is invalid. No files were installed.");
  return payload;
}

ReleaseKeyPair generateReleaseKeyPair() {
  ScopedBcryptAlgorithm algorithm;
  ScopedBcryptKey key;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_RSA_ALGORITHM, nullptr, 0)) ||
      !BCRYPT_SUCCESS(BCryptGenerateKeyPair(algorithm.get(), key.receive(), kKeyBits, 0)) ||
      !BCRYPT_SUCCESS(BCryptFinalizeKeyPair(key.get(), 0)))
    fail("Could not generate a release key pair");
  ReleaseKeyPair pair{exportKey(key.get(), BCRYPT_RSAPRIVATE_BLOB), exportKey(key.get(), BCRYPT_RSAPUBLIC_BLOB)};
  if (!isReleasePublicKeyText(pair.publicKey)) fail("The generated release key has an unexpected form");
  return pair;
}

std::string publicKeyOf(std::string_view privateKey) {
  RsaKey rsa;
  importPrivateKey(privateKey, rsa);
  return exportKey(rsa.key.get(), BCRYPT_RSAPUBLIC_BLOB);
}

std::string signReleasePayload(std::string_view payload, std::string_view privateKey) {
  RsaKey rsa;
  importPrivateKey(privateKey, rsa);
  UCHAR digest[kDigestSize];
  if (!sha256Digest(payload, digest)) fail("Could not hash the release payload");
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(BCryptSignHash(rsa.key.get(), &padding, digest, kDigestSize, nullptr, 0, &size, BCRYPT_PAD_PKCS1)))
    fail("Could not sign the release");
  std::string signature(size, '\0');
  if (!BCRYPT_SUCCESS(BCryptSignHash(rsa.key.get(), &padding, digest, kDigestSize,
                                     reinterpret_cast<PUCHAR>(signature.data()), size, &size, BCRYPT_PAD_PKCS1)))
    fail("Could not sign the release");
  signature.resize(size);
  return signature;
}

}  // namespace Corvanthorne::Update
