#pragma once
// Release key rotation: a source may publish keys.json, a chain of key statements that hands
// trust on from the key built into the launcher to the studio's newest key, so a lost or
// stolen key can be retired. Format (UTF-8 JSON, read by the release reader):
//
//   {"chain": [<statement 1>, <statement 2>, ...]}
//
// Each statement is a signed envelope like a release document (release_document.h) whose
// payload is {"sequence": n, "key": "<public key text>"}: statement n names key n and is
// signed by key n-1, key 0 being the root the reader starts from (the built-in key). A source
// without keys.json has a chain of length 0: the root alone signs its releases.
#include <string>
#include <string_view>
#include <vector>

namespace Corvanthorne::Update {

// keys.json is small: about 1.3 KB per statement.
inline constexpr std::size_t releaseKeyChainSizeLimit = 1024 * 1024;

// The keys the chain vouches for, root first; releases are verified against the last only.
// A document that is no such chain, a statement that does not verify against the key before
// it, or one with the wrong sequence: "Release key chain is invalid". An empty document is
// the chain of length 0.
std::vector<std::string> walkReleaseKeyChain(std::string_view keysDocument, std::string_view rootKey);

// The chain with one statement more, naming nextPublicKey and signed by currentPrivateKey,
// which must belong to the chain's newest key.
std::string appendReleaseKeyStatement(std::string_view keysDocument, std::string_view rootKey,
                                      std::string_view currentPrivateKey, std::string_view nextPublicKey);

// A chain once accepted may only grow: the held keys must begin the incoming ones, so nobody
// holding a retired key can take a player back to it. Else "Release key chain is invalid".
void refuseShorterKeyChain(const std::vector<std::string>& incoming, const std::vector<std::string>& held);

// The release document verified against the chain's newest key (its payload), or, with
// anyKey, against whichever key of the chain signed it: documents this launcher accepted
// earlier may carry a key retired since.
std::string verifyWithKeyChain(std::string_view document, const std::vector<std::string>& keys, bool anyKey = false);

}  // namespace Corvanthorne::Update
