// The product selection dialog's logic over a view that keeps control
// states and rectangles.
#include <gtest/gtest.h>

#include <map>

#include "setup/controller/fake_products.h"
#include "setup/controller/product_selection.h"

namespace olvex::setup {
namespace {

struct Control {
    std::u16string text;
    bool visible = true;
    bool enabled = true;
    bool checked = false;
    int32_t top = 0;
    int32_t bottom = 0;
};

// Rows of 14 units from 30 downwards, note and buttons below them.
class FakeView : public SelectionView {
  public:
    FakeView() {
        for (int32_t id = kFirstProductBox; id <= kLastProductBox; ++id) {
            const int32_t top = 30 + (id - kFirstProductBox) * 14;
            controls[id] = Control{u"", true, true, false, top, top + 10};
        }
        controls[kSelectionHeading] = Control{u"Select", true, true, false, 5, 20};
        controls[kSelectionNote] = Control{u"note", true, true, false, 150, 160};
        controls[kSelectionOk] = Control{u"OK", true, true, false, 170, 184};
        controls[kSelectionCancel] = Control{u"Cancel", true, true, false, 170, 184};
    }
    void SetText(int32_t id, std::u16string_view text) override { controls[id].text = text; }
    void Show(int32_t id, bool visible) override { controls[id].visible = visible; }
    void Enable(int32_t id, bool enabled) override { controls[id].enabled = enabled; }
    void SetCheck(int32_t id, bool checked) override { controls[id].checked = checked; }
    bool IsEnabled(int32_t id) override { return controls[id].enabled; }
    bool IsChecked(int32_t id) override { return controls[id].checked; }
    int32_t Top(int32_t id) override { return controls[id].top; }
    int32_t Bottom(int32_t id) override { return controls[id].bottom; }
    void MoveUp(int32_t id, int32_t distance) override {
        controls[id].top -= distance;
        controls[id].bottom -= distance;
    }
    void Shorten(int32_t distance) override { shortened += distance; }

    std::map<int32_t, Control> controls;
    int32_t shortened = 0;
};

struct Products {
    // count products; the first `installable` of them passed their checks.
    Products(int count, int installable) {
        for (int i = 0; i < count; ++i) {
            fakes::ProductSpec spec;
            spec.name = "Product " + std::to_string(i + 1);
            owned.push_back(std::make_unique<fakes::FakeProduct>(spec, nullptr));
            owned.back()->SetAvailable(true);
            owned.back()->SetInstallable(i < installable);
            owned.back()->SetSelected(i < installable);
            list.push_back(owned.back().get());
        }
    }
    std::vector<std::unique_ptr<fakes::FakeProduct>> owned;
    std::vector<Product*> list;
};

TEST(ProductSelection, FiveProductsThreeInstallable) {
    Products products(5, 3);
    FakeView view;
    ProductSelection selection(products.list, false, u"", u"");
    selection.Initialize(view);
    for (int32_t i = 0; i < 8; ++i) {
        const Control& box = view.controls[kFirstProductBox + i];
        EXPECT_EQ(box.visible, i < 5) << i;
        if (i < 5) {
            EXPECT_EQ(box.text, u"Product " + std::u16string(1, u'1' + i));
            EXPECT_EQ(box.enabled, i < 3) << i;
            EXPECT_EQ(box.checked, i < 3) << i;
            EXPECT_EQ(products.list[i]->control_id(), kFirstProductBox + i);
        }
    }
    // Three unused rows of 14 go.
    EXPECT_EQ(view.shortened, 3 * 14);
    EXPECT_EQ(view.controls[kSelectionOk].top, 170 - 42);
    EXPECT_EQ(view.controls[kSelectionNote].top, 150 - 42);
    EXPECT_TRUE(view.controls[kSelectionOk].enabled);
    EXPECT_FALSE(view.controls[kSelectionNote].visible);
    EXPECT_EQ(view.controls[kSelectionHeading].text, u"Select");

    // Nothing ticked: OK is off.
    for (int32_t id = kFirstProductBox; id < kFirstProductBox + 3; ++id) {
        view.controls[id].checked = false;
    }
    selection.Update(view);
    EXPECT_FALSE(view.controls[kSelectionOk].enabled);
    view.controls[kFirstProductBox + 1].checked = true;
    // A disabled box never selects, even when ticked behind the dialog's back.
    view.controls[kFirstProductBox + 4].checked = true;
    selection.Update(view);
    EXPECT_TRUE(view.controls[kSelectionOk].enabled);
    selection.Accept(view);
    std::vector<bool> selected;
    for (Product* product : products.list) {
        selected.push_back(product->selected());
    }
    EXPECT_EQ(selected, (std::vector<bool>{false, true, false, false, false}));
}

TEST(ProductSelection, UninstallTextsAndTheNoteWhenNothingCanBeChosen) {
    Products products(2, 0);
    products.owned[1]->SetOffered(false);
    FakeView view;
    ProductSelection selection(products.list, true, u"Remove these", u"Uninstall");
    selection.Initialize(view);
    EXPECT_EQ(view.controls[kSelectionHeading].text, u"Remove these");
    EXPECT_EQ(view.controls[kSelectionOk].text, u"Uninstall");
    EXPECT_TRUE(view.controls[kFirstProductBox].visible);
    EXPECT_FALSE(view.controls[kFirstProductBox + 1].visible) << "not offered";
    EXPECT_EQ(products.list[1]->control_id(), 0);
    EXPECT_EQ(view.shortened, 7 * 14);
    EXPECT_TRUE(view.controls[kSelectionNote].visible);
    EXPECT_FALSE(view.controls[kSelectionOk].enabled);
}

}  // namespace
}  // namespace olvex::setup
