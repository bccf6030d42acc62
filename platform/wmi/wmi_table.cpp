#include "platform/wmi/wmi_table.h"

#include <algorithm>

#include "platform/ascii.h"

namespace tw::platform {

namespace {

class TableObject final : public WmiObject {
  public:
    TableObject(std::shared_ptr<const WmiClassShape> shape, WmiRowValues values,
                std::shared_ptr<const std::vector<bool>> selected)
        : shape_(std::move(shape)), values_(std::move(values)), selected_(std::move(selected)) {}

    std::optional<WmiValue> get(std::string_view name) const override {
        auto col = shape_->find(name);
        if (!col) {
            if (toUpper(name) == "__CLASS") return WmiValue::string(shape_->name());
            return std::nullopt;
        }
        if (*col >= values_.size() || !values_[*col]) return std::nullopt;
        if (selected_ && !(*selected_)[*col]) return WmiValue::null();
        return values_[*col];
    }

    std::vector<std::string> propertyNames() const override { return shape_->columns(); }

  private:
    std::shared_ptr<const WmiClassShape> shape_;
    WmiRowValues values_;
    std::shared_ptr<const std::vector<bool>> selected_;
};

class ClassObject final : public WmiObject {
  public:
    explicit ClassObject(std::shared_ptr<const WmiClassShape> shape) : shape_(std::move(shape)) {}
    std::optional<WmiValue> get(std::string_view name) const override {
        if (toUpper(name) == "__CLASS") return WmiValue::string(shape_->name());
        if (shape_->find(name)) return WmiValue::null();
        return std::nullopt;
    }
    std::vector<std::string> propertyNames() const override { return shape_->columns(); }

  private:
    std::shared_ptr<const WmiClassShape> shape_;
};

}  // namespace

size_t WmiClassShape::add(std::string_view property) {
    std::string key = toUpper(property);
    auto it = index_.find(key);
    if (it != index_.end()) return it->second;
    columns_.emplace_back(property);
    index_.emplace(std::move(key), columns_.size() - 1);
    return columns_.size() - 1;
}

std::optional<size_t> WmiClassShape::find(std::string_view property) const {
    // Most lookups come with the class's own spelling; try it before folding.
    for (size_t i = 0; i < columns_.size() && i < 16; ++i)
        if (columns_[i] == property) return i;
    auto it = index_.find(toUpper(property));
    if (it == index_.end()) return std::nullopt;
    return it->second;
}

WmiRowValues& WmiTable::addRow() {
    rows.emplace_back(shape->columns().size());
    return rows.back();
}

void WmiTable::set(WmiRowValues& row, std::string_view property, WmiValue value) {
    // Builders name the class's own spelling: look for it before folding.
    const auto& cols = shape->columns();
    size_t col = static_cast<size_t>(std::find(cols.begin(), cols.end(), property) - cols.begin());
    if (col == cols.size()) col = shape->add(property);
    if (row.size() <= col) row.resize(shape->columns().size());
    row[col] = std::move(value);
}

WmiNext WmiListEnumerator::next(int, std::unique_ptr<WmiObject>& out) {
    if (pos_ >= objects_.size()) return WmiNext::End;
    out = std::move(objects_[pos_++]);
    return WmiNext::Object;
}

std::unique_ptr<WmiObject> makeTableObject(std::shared_ptr<const WmiClassShape> shape,
                                           WmiRowValues values) {
    return std::make_unique<TableObject>(std::move(shape), std::move(values), nullptr);
}

std::unique_ptr<WmiObject> makeClassObject(std::shared_ptr<const WmiClassShape> shape) {
    return std::make_unique<ClassObject>(std::move(shape));
}

std::unique_ptr<WmiListEnumerator> selectFromTable(const WqlQuery& query, WmiTable table) {
    std::shared_ptr<const WmiClassShape> shape = table.shape;
    const size_t ncol = shape->columns().size();
    std::shared_ptr<std::vector<bool>> selected;
    if (!query.properties.empty()) {
        selected = std::make_shared<std::vector<bool>>(ncol, false);
        for (const auto& p : query.properties)
            if (auto c = shape->find(p)) (*selected)[*c] = true;
    }
    // The condition's properties resolved to columns once, not per row.
    std::vector<std::optional<size_t>> slotCol;
    bool classSlot = false;
    for (const auto& n : query.whereNames) {
        slotCol.push_back(shape->find(n));
        if (!slotCol.back() && toUpper(n) == "__CLASS") classSlot = true;
    }
    const WmiValue className = WmiValue::string(shape->name());
    std::vector<std::unique_ptr<WmiObject>> out;
    for (auto& row : table.rows) {
        if (query.where) {
            bool ok = wqlMatches(query, [&](size_t slot) -> std::optional<WmiValue> {
                if (auto c = slotCol[slot]) {
                    if (*c < row.size()) return row[*c];
                    return std::nullopt;
                }
                if (classSlot && toUpper(query.whereNames[slot]) == "__CLASS") return className;
                return std::nullopt;
            });
            if (!ok) continue;
        }
        row.resize(ncol);
        out.push_back(std::make_unique<TableObject>(shape, std::move(row), selected));
    }
    return std::make_unique<WmiListEnumerator>(std::move(out));
}

std::unique_ptr<WmiListEnumerator> selectMetaClass(
    const WqlQuery& query, const std::vector<std::shared_ptr<const WmiClassShape>>& shapes) {
    std::vector<std::unique_ptr<WmiObject>> out;
    for (const auto& shape : shapes) {
        ClassObject obj(shape);
        bool ok = wqlMatches(query, [&](size_t slot) { return obj.get(query.whereNames[slot]); });
        if (ok) out.push_back(std::make_unique<ClassObject>(shape));
    }
    return std::make_unique<WmiListEnumerator>(std::move(out));
}

bool isMetaClass(std::string_view className) {
    return toUpper(className) == "META_CLASS";
}

}  // namespace tw::platform
