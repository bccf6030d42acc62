// The WQL subset our providers answer:
//   SELECT * | prop {, prop} FROM class [WHERE condition]
// with =, <>, !=, <, >, <=, >=, LIKE (% and _), IS [NOT] NULL, AND, OR, NOT
// and parentheses; literals in single or double quotes (backslash escapes),
// numbers, TRUE, FALSE, NULL. Keywords and property names match without
// regard to case. Pure text in, a query out; evaluation takes the values of
// one object through a callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wmi_provider.h"

namespace tw::platform {

enum class WqlOp { Eq, Ne, Lt, Gt, Le, Ge, Like, IsNull, IsNotNull };

struct WqlLiteral {
    enum Kind { String, Number, Bool, Null } kind = Null;
    std::string text;                // String: the unescaped text
    double number = 0;               // Number; String when numeric
    bool boolean = false;            // Bool
    bool numeric = false;            // String that reads fully as a number
    std::optional<int64_t> instant;  // String that is a WMI date-time text
};

struct WqlExpr {
    enum Kind { And, Or, Not, Compare } kind = Compare;
    std::unique_ptr<WqlExpr> left, right;  // And/Or: both; Not: left
    size_t slot = 0;                       // Compare: index into WqlQuery::whereNames
    WqlOp op = WqlOp::Eq;
    WqlLiteral literal;
};

struct WqlQuery {
    std::vector<std::string> properties;  // empty: SELECT *
    std::string className;
    std::unique_ptr<WqlExpr> where;       // null: every object
    std::vector<std::string> whereNames;  // distinct property names the condition reads
};

struct WqlError {
    size_t position = 0;  // byte offset in the query text
    std::string what;
};

std::optional<WqlQuery> parseWql(std::string_view text, WqlError* error = nullptr);

// Value of the condition's slot-th property for the object at hand; nullopt
// when the object lacks it (compares like NULL).
using WqlSlotReader = std::function<std::optional<WmiValue>(size_t slot)>;

// Whether the object satisfies the query's condition (true without one).
bool wqlMatches(const WqlQuery& query, const WqlSlotReader& read);

// Whether the answer to the query can show the property: selected (SELECT *
// selects all) or read by the condition. A provider may leave a costly
// property unfilled when not.
bool wqlReads(const WqlQuery& query, std::string_view property);

// One comparison as the condition evaluates it; exposed for tests.
bool wqlCompare(const std::optional<WmiValue>& value, WqlOp op, const WqlLiteral& literal);

// LIKE with % (any run) and _ (one character), ignoring ASCII case.
bool wqlLike(std::string_view text, std::string_view pattern);

// The latest date-time that a top-level AND chain of the condition demands
// of the property (prop > 'date', prop >= 'date'); lets a provider seek
// instead of scanning everything. nullopt when the condition sets none.
std::optional<int64_t> wqlLowerTimeBound(const WqlQuery& query, std::string_view property);

}  // namespace tw::platform
