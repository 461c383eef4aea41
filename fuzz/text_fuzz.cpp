// Short texts from the network: the position service's response (field
// splitting, "VL" lines, the user list and its speed text) and the update
// check's version file. The whole input goes through each.

#include "FuzzSupport.hpp"

#include "shell/FileVersion.hpp"
#include "shell/UpdateCheck.hpp"
#include "vistrel/CodePage.hpp"
#include "vistrel/VistrelUsers.hpp"

#include <cstdlib>

namespace {

using namespace orvane;

void Vistrel(std::string_view text)
{
    for (const char delimiter : {',', '\n'}) {
        std::size_t total = 0;
        for (const std::string_view field : vistrel::SplitFields(text, delimiter)) {
            // Every field is a piece of the text.
            if (field.data() < text.data() || field.data() + field.size() > text.data() + text.size())
                std::abort();
            total += field.size();
        }
        if (total > text.size()) std::abort();
    }
    if (const auto user = vistrel::ParseVistrelLine(text)) (void)vistrel::VistrelSpeedText(user->Speed);

    // As the client takes a response: fitted to the code page, then parsed.
    const std::string body = vistrel::FitToCodePage(text);
    const auto reported = vistrel::ParseVistrelResponse(body);
    std::vector<vistrel::TVistrelUser> users;
    vistrel::MergeVistrelUsers(users, reported);
    vistrel::MergeVistrelUsers(users, reported);
    if (users.size() > reported.size()) std::abort();
    for (const auto& user : users) (void)vistrel::VistrelSpeedText(user.Speed);
}

void VersionFile(std::string_view text)
{
    const std::string_view latest = shell::LatestBuildText(text);
    if (latest.size() > text.size()) std::abort();
    for (const auto running : {std::optional<std::int32_t>{}, std::optional<std::int32_t>{0},
                               std::optional<std::int32_t>{1}, std::optional<std::int32_t>{2147483647}})
        (void)shell::CompareBuilds(latest, running);
    (void)shell::BuildNumberOf(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text = fuzz::AsText({data, size});
    Vistrel(text);
    VersionFile(text);
    return 0;
}
