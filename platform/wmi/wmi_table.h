// Classes held as tables, the way our providers keep them: a shape (class
// name and property names in class order) and rows of values. Answers WQL
// queries over a table (condition, projection) and meta_class queries over a
// set of shapes. Shared by the fixture and the live provider.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/wmi/wql.h"
#include "platform/wmi_provider.h"

namespace tw::platform {

class WmiClassShape {
  public:
    explicit WmiClassShape(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    const std::vector<std::string>& columns() const { return columns_; }
    // Adds a property (once); answers its column.
    size_t add(std::string_view property);
    std::optional<size_t> find(std::string_view property) const;

  private:
    std::string name_;
    std::vector<std::string> columns_;
    std::unordered_map<std::string, size_t> index_;  // upper-cased name -> column
};

// One object's values by column; nullopt: the object lacks the property.
using WmiRowValues = std::vector<std::optional<WmiValue>>;

struct WmiTable {
    std::shared_ptr<WmiClassShape> shape;
    std::vector<WmiRowValues> rows;

    // Starts a row with every property absent; set() fills it by name.
    WmiRowValues& addRow();
    void set(WmiRowValues& row, std::string_view property, WmiValue value);
};

// An enumerator over objects that are all at hand.
class WmiListEnumerator final : public WmiEnumerator {
  public:
    explicit WmiListEnumerator(std::vector<std::unique_ptr<WmiObject>> objects)
        : objects_(std::move(objects)) {}
    WmiNext next(int timeoutMs, std::unique_ptr<WmiObject>& out) override;
    std::string lastError() const override { return {}; }
    size_t size() const { return objects_.size(); }

  private:
    std::vector<std::unique_ptr<WmiObject>> objects_;
    size_t pos_ = 0;
};

// A row of a table as an object; __CLASS answers the class name.
std::unique_ptr<WmiObject> makeTableObject(std::shared_ptr<const WmiClassShape> shape,
                                           WmiRowValues values);

// A class object: __CLASS, the property names, every property Null.
std::unique_ptr<WmiObject> makeClassObject(std::shared_ptr<const WmiClassShape> shape);

// The objects of the table that satisfy the query, in table order, with
// the properties that the query did not select reading as Null.
std::unique_ptr<WmiListEnumerator> selectFromTable(const WqlQuery& query, WmiTable table);

// SELECT ... FROM meta_class [WHERE __Class ...]: one class object per shape
// (__CLASS = its name, its property names, every property Null).
std::unique_ptr<WmiListEnumerator> selectMetaClass(
    const WqlQuery& query, const std::vector<std::shared_ptr<const WmiClassShape>>& shapes);

bool isMetaClass(std::string_view className);

}  // namespace tw::platform
