#pragma once

#include <optional>
#include <string>

// The toolkit's modal save dialog, restricted to one kind of file.
class SavePanel {
public:
    virtual ~SavePanel() = default;

    // `suggestedFileName` is preset in the name field (extension included), `typeDescription`
    // names the only kind offered (e.g. "CSV document") and `extension` its suffix without the
    // dot. Absent when the user cancels.
    virtual std::optional<std::string> chooseSaveLocation(const std::string& suggestedFileName,
                                                          const std::string& typeDescription,
                                                          const std::string& extension) = 0;
};
