// The one destination folder of an install: the folder of an installed
// suite of the same variant, the folder given on the command line, or a
// default under Program Files, changed by the user in the destination
// dialog when one is shown. Every folder is checked before it is accepted;
// the accepted one goes to the options, from which each product derives
// its own folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace olvex::setup {

class SetupOperation;

class DestinationChoice {
  public:
    explicit DestinationChoice(SetupOperation& operation);
    ~DestinationChoice();
    DestinationChoice(const DestinationChoice&) = delete;
    DestinationChoice& operator=(const DestinationChoice&) = delete;

    // The choice the destination dialog works on; null when none.
    static DestinationChoice* Current();

    // Settles the folder to offer: 0, or 9019 when a silent run was given a
    // folder that is refused.
    uint32_t ComputeDefault();
    // Shows the destination dialog (display level 2 and above) unless the
    // command line gave an accepted folder; at lower levels the folder is
    // checked and taken without a dialog. 0, 9017 (cancelled) or 9019.
    uint32_t Choose(void* parent);
    // The dialog's OK: the text checked (its end trimmed); 0 accepts it into
    // the options, 9019 refuses it (the dialog shows the error and stays).
    uint32_t AcceptFromDialog(std::u16string_view text);

    const std::u16string& installed_path() const { return installed_path_; }
    const std::u16string& destination() const { return destination_; }
    // The installed suite's name when its installation fixes the folder.
    const std::u16string& fixed_name() const { return fixed_name_; }
    // Whether the suite runs several products (the dialog's OK reads
    // "Install" otherwise).
    bool suite_active() const;

  private:
    uint32_t Validate(std::u16string& path, bool check_others);
    uint32_t Refuse(const std::u16string& path, int32_t level, uint32_t code);
    void Accept();

    SetupOperation& operation_;
    DestinationChoice* previous_;
    std::u16string installed_path_;
    std::u16string destination_;
    std::u16string fixed_name_;
    // The folder passed the check already (a folder the command line gave).
    bool validated_ = false;
};

}  // namespace olvex::setup
