// The product selection dialog's logic: one check box a product (up to
// eight rows), enabled for products that passed their checks, the dialog
// shortened by the rows it does not use, OK only with a box ticked, the note
// only when nothing can be chosen. The dialog itself only moves data
// between its controls and this, through the SelectionView.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvex::setup {

class Product;

inline constexpr int32_t kSelectionHeading = 1650;
inline constexpr int32_t kSelectionNote = 1651;
inline constexpr int32_t kFirstProductBox = 1652;
inline constexpr int32_t kLastProductBox = 1659;
inline constexpr int32_t kSelectionOk = 1;
inline constexpr int32_t kSelectionCancel = 2;

class SelectionView {
  public:
    virtual ~SelectionView() = default;
    virtual void SetText(int32_t id, std::u16string_view text) = 0;
    virtual void Show(int32_t id, bool visible) = 0;
    virtual void Enable(int32_t id, bool enabled) = 0;
    virtual void SetCheck(int32_t id, bool checked) = 0;
    virtual bool IsEnabled(int32_t id) = 0;
    virtual bool IsChecked(int32_t id) = 0;
    // A control's top and bottom in the dialog's client coordinates.
    virtual int32_t Top(int32_t id) = 0;
    virtual int32_t Bottom(int32_t id) = 0;
    // Moves a control up by `distance`; shortens the dialog by `distance`.
    virtual void MoveUp(int32_t id, int32_t distance) = 0;
    virtual void Shorten(int32_t distance) = 0;
};

class ProductSelection {
  public:
    // The products of the operation's list, in order; the uninstall texts
    // (heading, OK) when the operation removes.
    ProductSelection(std::vector<Product*> products, bool uninstall,
                     std::u16string uninstall_heading, std::u16string uninstall_ok);

    // WM_INITDIALOG: a box for each available and offered product (its
    // control id set), the unused rows removed, then Update.
    void Initialize(SelectionView& view);
    // OK only with a product ticked; the note only when no box is enabled.
    void Update(SelectionView& view);
    // OK: each product with a box is selected exactly when its box is
    // enabled and ticked.
    void Accept(SelectionView& view);

    // How far the dialog shortens when `used` rows hold products.
    static int32_t UnusedHeight(SelectionView& view, int32_t used);

  private:
    std::vector<Product*> products_;
    bool uninstall_;
    std::u16string uninstall_heading_;
    std::u16string uninstall_ok_;
};

}  // namespace olvex::setup
