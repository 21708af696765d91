#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The user folders that xdg-user-dirs names in user-dirs.dirs ("Downloads" may be
// "Téléchargements" on a French desktop).
namespace XdgUserDirs {

// One folder: its key without XDG_ and _DIR ("DOWNLOAD", "PICTURES"...) and its path.
struct Folder {
    std::string key;
    std::string path;
    friend bool operator==(const Folder&, const Folder&) = default;
};

// The folders of a user-dirs.dirs text, in file order; a later line for the same key
// wins. "$HOME" is expanded to `home`; a folder set to the home folder itself (how a
// user turns one off) and lines of any other shape are left out.
std::vector<Folder> parse(std::string_view text, const std::string& home);

// The folders xdg-user-dirs gives a new account: ~/Desktop, ~/Downloads, ~/Templates,
// ~/Public, ~/Documents, ~/Music, ~/Pictures and ~/Videos.
std::vector<Folder> defaults(const std::string& home);

// Reads $XDG_CONFIG_HOME/user-dirs.dirs (else `home`/.config/user-dirs.dirs); the
// defaults when there is none.
std::vector<Folder> read(const std::string& home);

} // namespace XdgUserDirs
