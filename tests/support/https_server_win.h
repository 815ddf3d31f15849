#pragma once
// A local HTTPS server for Windows tests under Wine: nginx, or the scripted server of
// tests/support/https_server.py for the faults nginx cannot make, serving a folder on
// localhost, with a certificate authority made for this test process and trusted, while the
// process lives, in the Wine prefix's "Root" store only.
//   LocalHttpsServer server(folder);  fetch server.url("/path") ...; server.requests()
#include <windows.h>
#include <wincrypt.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/handle_win.h"
#include "common/text.h"
#include "support/temp_dir.h"
#include "support/desktop_win.h"

namespace Corvanthorne::Testing {

inline void closeCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }
using ScopedCertStore = UniqueHandle<NullInvalidTraits<HCERTSTORE, &closeCertStore>>;
using ScopedCertContext = UniqueHandle<NullInvalidTraits<PCCERT_CONTEXT, &CertFreeCertificateContext>>;

// Trusts a DER certificate as a root authority for the object's lifetime.
class TrustedCertificate {
 public:
  explicit TrustedCertificate(std::string der) : der_(std::move(der)) {
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", bytes(), size()))
      throwWindowsError("Could not trust the test certificate authority");
  }
  ~TrustedCertificate() {
    // The user's registry store, where the constructor added it: under Wine, deleting through
    // the system "Root" store succeeds without removing anything, and the roots pile up.
    const ScopedCertStore store(
        CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
    const ScopedCertContext ours(CertCreateCertificateContext(X509_ASN_ENCODING, bytes(), size()));
    // Deleting frees the context it is given.
    if (store && ours)
      if (PCCERT_CONTEXT found = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING,
                                                            ours.get(), nullptr))
        CertDeleteCertificateFromStore(found);
  }

 private:
  const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(der_.data()); }
  DWORD size() const { return static_cast<DWORD>(der_.size()); }
  std::string der_;
};

// One authority for every server of a process, trusted from the first server on: Wine's
// certificate chain engine keeps the roots it saw first, so an authority trusted after the
// process made its first HTTPS connection is never found.
struct SharedAuthority {
  TempDir folder;
  std::optional<TrustedCertificate> trusted;
};
inline SharedAuthority& sharedAuthority() {
  static SharedAuthority authority;
  return authority;
}

// Nginx serves files as studios do; Scripted also makes the faults of /trickle/ and the like.
enum class ServerKind { Nginx, Scripted };

class LocalHttpsServer {
 public:
  // Serves root; the server ends by itself after lifetimeSeconds should the test die first.
  explicit LocalHttpsServer(const std::filesystem::path& root, ServerKind kind = ServerKind::Nginx,
                            int lifetimeSeconds = 300) {
    const std::string script = std::string(QEL_TEST_DATA_DIR) + "/../support/https_server.py";
    const std::wstring commandLine = L"/usr/bin/python3 \"" + utf8ToWide(script) + L"\" \"" +
                               utf8ToWide(unixPath(root)) + L"\" \"" + utf8ToWide(unixPath(state_.path())) +
                               L"\" --seconds " + std::to_wstring(lifetimeSeconds) + L" --authority \"" +
                               utf8ToWide(unixPath(sharedAuthority().folder.path())) + L"\"" +
                               (kind == ServerKind::Nginx ? L" --nginx" : L"");
    startUnixProgram(L"/usr/bin/python3", commandLine);
    // A server that cannot start writes "stopped" without a port.
    const auto started = [this] { return std::filesystem::exists(state_ / "port"); };
    waitUntil([&] { return started() || std::filesystem::exists(state_ / "stopped"); }, 30000);
    if (!started())
      throw std::runtime_error("The HTTPS test server did not start: " + readFile(state_ / "server.log"));
    port_ = readFile(state_ / "port");
    if (!sharedAuthority().trusted) sharedAuthority().trusted.emplace(readFile(state_ / "ca.der"));
  }
  ~LocalHttpsServer() {
    writeFile(state_ / "stop", "");
    waitUntil([this] { return std::filesystem::exists(state_ / "stopped"); }, 5000);
  }
  LocalHttpsServer(const LocalHttpsServer&) = delete;
  LocalHttpsServer& operator=(const LocalHttpsServer&) = delete;

  std::wstring url(std::string_view path = "") const {
    return L"https://localhost:" + utf8ToWide(port_) + utf8ToWide(path);
  }

  // The certificate authority in PEM form, for Unix clients.
  std::filesystem::path caCertificate() const { return state_ / "ca.pem"; }

  // The paths requested so far, each followed by " <Range header>" when it had one: in order of
  // arrival from the scripted server, of completion from nginx (which writes a request's line
  // once it has answered, or seen the client go). forget() starts the list anew (emptying the
  // log: nginx keeps it open).
  std::vector<std::string> requests() const {
    std::vector<std::string> lines;
    const std::string log = readFile(state_ / "requests.log");
    for (std::size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
      lines.push_back(log.substr(start, end - start));
    return lines;
  }
  void forget() const { writeFile(state_ / "requests.log", ""); }

 private:
  TempDir state_;
  std::string port_;
};

// The servers every HTTPS test of a process shares, both serving root: started by the first
// test that asks, before the process's first request, because under Wine a Unix program
// started after a connection has gone idle breaks the sockets of later connections.
struct SharedHttpsServers {
  TempDir root;
  LocalHttpsServer nginx{root.path()};
  LocalHttpsServer scripted{root.path(), ServerKind::Scripted};
};
inline const SharedHttpsServers& sharedHttpsServers() {
  static const SharedHttpsServers servers;
  return servers;
}

}  // namespace Corvanthorne::Testing
