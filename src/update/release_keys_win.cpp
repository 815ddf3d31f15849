// Key chains are checked with the CNG signatures of release_document_win.cpp.
#include "update/release_keys.h"

#include <algorithm>
#include <stdexcept>

#include "update/release_document.h"
#include "update/release_json.h"

namespace Corvanthorne::Update {
namespace {

constexpr const char* kInvalidChain = "Release key chain is invalid";

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

// The statements of a chain as envelope texts, re-composed from their Base64 fields.
struct ParsedChain {
  std::vector<std::string> keys;
  std::vector<std::string> statements;
};

std::string statementPayload(std::size_t sequence, std::string_view key) {
  std::string payload = "{\"sequence\":" + std::to_string(sequence) + ",\"key\":";
  appendJsonString(payload, key);
  return payload + "}";
}

std::string nextKeyOf(const JsonValue& statement, std::string_view signer, std::size_t sequence) {
  const JsonDocument payload = parseReleaseJson(verifySignedEnvelope(statement, signer));
  const std::string_view key = releaseField(payload.root(), "key", JsonType::String).string();
  if (releaseInteger(payload.root(), "sequence") != sequence || !isReleasePublicKeyText(key)) fail(kInvalidChain);
  return std::string(key);
}

ParsedChain parseChain(std::string_view keysDocument, std::string_view rootKey) {
  ParsedChain chain{{std::string(rootKey)}, {}};
  if (keysDocument.empty()) return chain;
  try {
    const JsonDocument parsed = parseReleaseJson(keysDocument);
    for (const JsonValue& statement : releaseField(parsed.root(), "chain", JsonType::Array).array()) {
      chain.keys.push_back(nextKeyOf(statement, chain.keys.back(), chain.keys.size()));
      chain.statements.push_back("{\"payload\":\"" +
                                 std::string(releaseField(statement, "payload", JsonType::String).string()) +
                                 "\",\"signature\":\"" +
                                 std::string(releaseField(statement, "signature", JsonType::String).string()) + "\"}");
    }
  } catch (const std::exception&) {
    // A publisher needs no more than this to find the fault: the chain as a whole is refused.
    fail(kInvalidChain);
  }
  return chain;
}

}  // namespace

std::vector<std::string> walkReleaseKeyChain(std::string_view keysDocument, std::string_view rootKey) {
  return parseChain(keysDocument, rootKey).keys;
}

std::string appendReleaseKeyStatement(std::string_view keysDocument, std::string_view rootKey,
                                      std::string_view currentPrivateKey, std::string_view nextPublicKey) {
  ParsedChain chain = parseChain(keysDocument, rootKey);
  if (publicKeyOf(currentPrivateKey) != chain.keys.back())
    throw std::runtime_error("The private key is not the newest key of the release key chain");
  if (!isReleasePublicKeyText(nextPublicKey)) throw std::runtime_error("The next key is not a release public key");
  const std::string payload = statementPayload(chain.keys.size(), nextPublicKey);
  std::string statement = composeReleaseDocument(payload, signReleasePayload(payload, currentPrivateKey));
  statement.pop_back();  // its line end: the chain lists one statement per line
  chain.statements.push_back(std::move(statement));
  std::string document = "{\"chain\":[";
  for (const std::string& text : chain.statements)
    document.append(&text == chain.statements.data() ? "\n" : ",\n").append(text);
  return document + "\n]}\n";
}

void refuseShorterKeyChain(const std::vector<std::string>& incoming, const std::vector<std::string>& held) {
  if (incoming.size() < held.size() || !std::equal(held.begin(), held.end(), incoming.begin())) fail(kInvalidChain);
}

std::string verifyWithKeyChain(std::string_view document, const std::vector<std::string>& keys, bool anyKey) {
  for (auto key = keys.rbegin(); anyKey && key + 1 != keys.rend(); ++key) {
    try {
      return verifyReleaseDocument(document, *key);
    } catch (const std::runtime_error&) {
      // Signed by an earlier key, perhaps: the oldest is tried last, and its failure reported.
    }
  }
  return verifyReleaseDocument(document, anyKey ? keys.front() : keys.back());
}

}  // namespace Corvanthorne::Update
