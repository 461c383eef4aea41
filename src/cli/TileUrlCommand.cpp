// orvane tile-url MT X Y LEVEL: the download address of one tile, from the
// tile source catalogue (maps.ini or the built-in table).

#include "Commands.hpp"

#include "tiles/MapCatalogue.hpp"
#include "util/Error.hpp"
#include "util/Messages.hpp"

#include <cstdint>
#include <iostream>

namespace orvane::cli {

int RunTileUrl(Args& args)
{
    const std::vector<std::string> pos = args.Positionals();
    if (pos.size() != 4) throw UsageError{"expected MT X Y LEVEL"};
    const int mt = Args::IntValue("MT", pos[0], 0, 255);
    const int level = Args::IntValue("LEVEL", pos[3], 1, 18);
    const int maxIndex = (1 << (level - 1)) - 1;
    const int x = Args::IntValue("X", pos[1], 0, maxIndex);
    const int y = Args::IntValue("Y", pos[2], 0, maxIndex);

    tiles::LoadMapCatalogue();
    const std::string url =
        tiles::BuildTileUrl(*tiles::MapCatalogue(), static_cast<tiles::MapType>(mt), x, y, level);
    if (url.empty()) throw Error(msg::NoTileUrl(static_cast<unsigned>(mt)));
    std::cout << url << '\n';
    return kExitOk;
}

} // namespace orvane::cli
