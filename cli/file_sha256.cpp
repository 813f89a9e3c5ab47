#include "cli/file_sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace flash {
namespace {

struct DigestContextDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::optional<std::string> FileSha256(const std::string& path, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    why = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
  bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
  why = ok ? "" : path + ": the SHA-256 digest is not available";
  unsigned char chunk[64 * 1024];
  while (ok) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      why = path + ": " + std::strerror(errno);
      ok = false;
    }
    if (got <= 0) break;
    ok = EVP_DigestUpdate(context.get(), chunk, static_cast<std::size_t>(got)) == 1;
  }
  ::close(fd);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!ok || EVP_DigestFinal_ex(context.get(), digest, &size) != 1) {
    if (why.empty()) why = path + ": the SHA-256 digest failed";
    return std::nullopt;
  }
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += kHexDigits[digest[i] >> 4];
    text += kHexDigits[digest[i] & 0x0F];
  }
  return text;
}

}  // namespace flash
