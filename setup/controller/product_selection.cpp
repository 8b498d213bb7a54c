#include "setup/controller/product_selection.h"

#include "setup/controller/product.h"

namespace olvex::setup {

ProductSelection::ProductSelection(std::vector<Product*> products, bool uninstall,
                                   std::u16string uninstall_heading, std::u16string uninstall_ok)
    : products_(std::move(products)),
      uninstall_(uninstall),
      uninstall_heading_(std::move(uninstall_heading)),
      uninstall_ok_(std::move(uninstall_ok)) {}

int32_t ProductSelection::UnusedHeight(SelectionView& view, int32_t used) {
    if (used >= kLastProductBox - kFirstProductBox + 1) {
        return 0;
    }
    // Everything from the last used row's bottom (or the first row's top
    // when none is used) down to the last row's bottom goes.
    const int32_t keep_to =
        used > 0 ? view.Bottom(kFirstProductBox + used - 1) : view.Top(kFirstProductBox);
    return view.Bottom(kLastProductBox) - keep_to;
}

void ProductSelection::Initialize(SelectionView& view) {
    if (uninstall_) {
        view.SetText(kSelectionHeading, uninstall_heading_);
        view.SetText(kSelectionOk, uninstall_ok_);
    }
    for (int32_t id = kFirstProductBox; id <= kLastProductBox; ++id) {
        view.Show(id, false);
    }
    int32_t next = kFirstProductBox;
    for (Product* product : products_) {
        product->SetControlId(0);
        if (next > kLastProductBox || !product->available() || !product->offered()) {
            continue;
        }
        const bool installable = product->installable();
        view.SetText(next, product->GetDisplayName());
        view.Enable(next, installable);
        view.SetCheck(next, installable && product->selected());
        view.Show(next, true);
        product->SetControlId(next);
        ++next;
    }
    const int32_t distance = UnusedHeight(view, next - kFirstProductBox);
    if (distance > 0) {
        for (const int32_t id : {kSelectionNote, kSelectionOk, kSelectionCancel}) {
            view.MoveUp(id, distance);
        }
        view.Shorten(distance);
    }
    Update(view);
}

void ProductSelection::Update(SelectionView& view) {
    bool any_checked = false;
    bool any_enabled = false;
    for (const Product* product : products_) {
        const int32_t id = product->control_id();
        if (id == 0) {
            continue;
        }
        any_enabled = any_enabled || view.IsEnabled(id);
        any_checked = any_checked || view.IsChecked(id);
    }
    view.Enable(kSelectionOk, any_checked);
    view.Show(kSelectionNote, !any_enabled);
}

void ProductSelection::Accept(SelectionView& view) {
    for (Product* product : products_) {
        const int32_t id = product->control_id();
        if (id != 0) {
            product->SetSelected(view.IsEnabled(id) && view.IsChecked(id));
        }
    }
}

}  // namespace olvex::setup
