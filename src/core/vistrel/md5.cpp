#include "vistrel/md5.hpp"

#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <openssl/evp.h>

namespace orvane::vistrel {

std::string Md5Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 || length != 16)
        throw Error(std::string(msg::kMd5Unavailable));
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

} // namespace orvane::vistrel
