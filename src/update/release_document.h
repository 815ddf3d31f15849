#pragma once
// Signed release documents and the publisher's keys. A document is the envelope
//   {"payload":"<Base64 of the release JSON>","signature":"<Base64 of the RSA signature>"}
// whose signature is RSA 3072, PKCS #1 v1.5 over the SHA-256 of the payload bytes. Keys are
// Base64 texts of CNG key blobs: the public one is the 548-character form of an RSA public
// blob ("RSA1" header, exponent, modulus) that the program trusts; the private one is a CNG
// RSA private blob and never leaves the studio.
#include <string>
#include <string_view>

namespace Corvanthorne::Update {

class JsonValue;

// The publisher key this program trusts, chosen when it was built.
std::string_view builtInReleaseKey();

// True when the built-in key is the development key, whose private half is public: such a
// build installs releases from local folders only.
bool builtInKeyIsDevelopmentKey();

// True for the 548-character Base64 text of a 3072-bit RSA public blob with a 3-byte exponent.
bool isReleasePublicKeyText(std::string_view text);

// Standard Base64 with padding, the form decodeReleaseBase64 accepts.
std::string encodeReleaseBase64(std::string_view bytes);

// text as a JSON string literal, quotes included.
void appendJsonString(std::string& out, std::string_view text);

std::string composeReleaseDocument(std::string_view payload, std::string_view signature);

// Checks the envelope's signature against publicKey (Base64 key text) and returns the payload
// bytes, unparsed; "Release signature is invalid. No files were installed." when it fails.
std::string verifyReleaseDocument(std::string_view document, std::string_view publicKey = builtInReleaseKey());

// The same check for an envelope already parsed, such as one statement of a key chain.
std::string verifySignedEnvelope(const JsonValue& envelope, std::string_view publicKey);

struct ReleaseKeyPair {
  std::string privateKey;  // Base64 text
  std::string publicKey;   // Base64 text, isReleasePublicKeyText
};

ReleaseKeyPair generateReleaseKeyPair();

// The raw signature bytes over payload.
std::string signReleasePayload(std::string_view payload, std::string_view privateKey);

// The public key text (isReleasePublicKeyText) of a private key text.
std::string publicKeyOf(std::string_view privateKey);

}  // namespace Corvanthorne::Update
