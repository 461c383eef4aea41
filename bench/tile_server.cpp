// A tile server for bench/compile.sh: answers every GET on 127.0.0.1 with a
// 256 x 256 PNG of about the size a street map tile has, made once at start.
// Prints the port it listens on, then serves until killed.
//   tile_server [PORT]    0 or none: any free port

#include "image/ImageCodecs.hpp"

#include <httplib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    using orvane::image::RgbImage;
    // Flat areas with streets and some noise: compresses like a real tile.
    RgbImage img(256, 256);
    std::uint32_t seed = 12345;
    for (std::int32_t y = 0; y < 256; ++y)
        for (std::int32_t x = 0; x < 256; ++x) {
            seed = seed * 1664525u + 1013904223u;
            std::uint8_t* p = img.Row(y) + 3 * x;
            const bool street = (x % 64) < 6 || (y % 48) < 5;
            const std::uint8_t noise = static_cast<std::uint8_t>((seed >> 30) & 1);
            p[0] = static_cast<std::uint8_t>(street ? 255 : 230 + noise);
            p[1] = static_cast<std::uint8_t>(street ? 255 : 225 + noise);
            p[2] = static_cast<std::uint8_t>(street ? 250 : 210 + (x * y) % 9);
        }
    const auto png = orvane::image::EncodePng(img);
    const std::string body(png.begin(), png.end());

    httplib::Server server;
    server.Get(".*", [&body](const httplib::Request&, httplib::Response& res) {
        res.set_content(body, "image/png");
    });
    const int wanted = argc > 1 ? std::atoi(argv[1]) : 0;
    const int port = wanted > 0 ? (server.bind_to_port("127.0.0.1", wanted) ? wanted : -1)
                                : server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        std::fprintf(stderr, "tile_server: cannot bind 127.0.0.1\n");
        return 1;
    }
    std::printf("%d %zu\n", port, body.size());
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
