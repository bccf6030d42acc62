#include "platform/wmi/wql.h"

#include <cctype>
#include <cstdlib>

#include "platform/ascii.h"
#include "platform/wmi/wmi_datetime.h"

namespace tw::platform {

namespace {

// A whole text read as a decimal number (optional sign, digits, fraction).
bool readNumber(std::string_view s, double& out) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
    size_t digitsStart = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    size_t intDigits = i - digitsStart;
    size_t fracDigits = 0;
    if (i < s.size() && s[i] == '.') {
        ++i;
        size_t f = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        fracDigits = i - f;
    }
    if (i != s.size() || intDigits + fracDigits == 0) return false;
    out = std::strtod(std::string(s).c_str(), nullptr);
    return true;
}

struct Token {
    enum Kind { End, Ident, String, Number, Op, LParen, RParen, Comma, Star } kind = End;
    std::string text;
    size_t pos = 0;
};

class Parser {
  public:
    Parser(std::string_view text, WqlError* err) : s_(text), err_(err) {}

    std::optional<WqlQuery> run() {
        WqlQuery q;
        advance();
        if (!keyword("SELECT")) return fail("SELECT expected");
        if (tok_.kind == Token::Star) {
            advance();
        } else {
            while (true) {
                if (tok_.kind != Token::Ident || isKeyword("FROM"))
                    return fail("property name expected");
                q.properties.push_back(tok_.text);
                advance();
                if (tok_.kind != Token::Comma) break;
                advance();
            }
        }
        if (!keyword("FROM")) return fail("FROM expected");
        if (tok_.kind != Token::Ident) return fail("class name expected");
        q.className = tok_.text;
        advance();
        if (keyword("WHERE")) {
            q_ = &q;
            q.where = orExpr();
            if (!q.where) return std::nullopt;
        }
        if (tok_.kind != Token::End) return fail("unexpected text");
        return q;
    }

  private:
    std::nullopt_t fail(const std::string& what) {
        if (err_ && !failed_) {
            err_->position = tok_.pos;
            err_->what = what;
        }
        failed_ = true;
        return std::nullopt;
    }

    std::unique_ptr<WqlExpr> failExpr(const std::string& what) {
        fail(what);
        return nullptr;
    }

    bool isKeyword(const char* word) const {
        return tok_.kind == Token::Ident && equalsNoCase(tok_.text, word);
    }

    bool keyword(const char* word) {
        if (!isKeyword(word)) return false;
        advance();
        return true;
    }

    void advance() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
        tok_ = Token{};
        tok_.pos = i_;
        if (i_ >= s_.size()) return;
        char c = s_[i_];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t b = i_;
            while (i_ < s_.size() &&
                   (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_'))
                ++i_;
            tok_.kind = Token::Ident;
            tok_.text = std::string(s_.substr(b, i_ - b));
        } else if (c == '\'' || c == '"') {
            ++i_;
            std::string text;
            bool closed = false;
            while (i_ < s_.size()) {
                char d = s_[i_++];
                if (d == c) {
                    closed = true;
                    break;
                }
                if (d == '\\' && i_ < s_.size()) d = s_[i_++];
                text += d;
            }
            if (!closed) {
                tok_.kind = Token::Op;  // never valid: reported where the literal began
                tok_.text = "unterminated";
                return;
            }
            tok_.kind = Token::String;
            tok_.text = std::move(text);
        } else if ((c >= '0' && c <= '9') ||
                   (c == '-' && i_ + 1 < s_.size() && s_[i_ + 1] >= '0' && s_[i_ + 1] <= '9')) {
            size_t b = i_++;
            while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.')) ++i_;
            tok_.kind = Token::Number;
            tok_.text = std::string(s_.substr(b, i_ - b));
        } else if (c == '(') {
            ++i_;
            tok_.kind = Token::LParen;
        } else if (c == ')') {
            ++i_;
            tok_.kind = Token::RParen;
        } else if (c == ',') {
            ++i_;
            tok_.kind = Token::Comma;
        } else if (c == '*') {
            ++i_;
            tok_.kind = Token::Star;
        } else if (c == '=' || c == '<' || c == '>' || c == '!') {
            size_t b = i_++;
            if (i_ < s_.size() && (s_[i_] == '=' || (c == '<' && s_[i_] == '>'))) ++i_;
            tok_.kind = Token::Op;
            tok_.text = std::string(s_.substr(b, i_ - b));
            if (tok_.text == "!") tok_.text = "invalid";
        } else {
            ++i_;
            tok_.kind = Token::Op;
            tok_.text = "invalid";
        }
    }

    std::unique_ptr<WqlExpr> orExpr() {
        auto l = andExpr();
        while (l && keyword("OR")) {
            auto r = andExpr();
            if (!r) return nullptr;
            auto e = std::make_unique<WqlExpr>();
            e->kind = WqlExpr::Or;
            e->left = std::move(l);
            e->right = std::move(r);
            l = std::move(e);
        }
        return l;
    }

    std::unique_ptr<WqlExpr> andExpr() {
        auto l = notExpr();
        while (l && keyword("AND")) {
            auto r = notExpr();
            if (!r) return nullptr;
            auto e = std::make_unique<WqlExpr>();
            e->kind = WqlExpr::And;
            e->left = std::move(l);
            e->right = std::move(r);
            l = std::move(e);
        }
        return l;
    }

    std::unique_ptr<WqlExpr> notExpr() {
        if (keyword("NOT")) {
            auto inner = notExpr();
            if (!inner) return nullptr;
            auto e = std::make_unique<WqlExpr>();
            e->kind = WqlExpr::Not;
            e->left = std::move(inner);
            return e;
        }
        if (tok_.kind == Token::LParen) {
            advance();
            auto e = orExpr();
            if (!e) return nullptr;
            if (tok_.kind != Token::RParen) return failExpr("')' expected");
            advance();
            return e;
        }
        return comparison();
    }

    bool literal(WqlLiteral& lit) {
        if (tok_.kind == Token::String) {
            lit.kind = WqlLiteral::String;
            lit.text = tok_.text;
            lit.numeric = readNumber(lit.text, lit.number);
            lit.instant = wmiDateTimeInstant(lit.text);
        } else if (tok_.kind == Token::Number) {
            lit.kind = WqlLiteral::Number;
            lit.text = tok_.text;
            if (!readNumber(lit.text, lit.number)) return false;
            lit.numeric = true;
        } else if (isKeyword("TRUE") || isKeyword("FALSE")) {
            lit.kind = WqlLiteral::Bool;
            lit.boolean = isKeyword("TRUE");
        } else if (isKeyword("NULL")) {
            lit.kind = WqlLiteral::Null;
        } else {
            return false;
        }
        advance();
        return true;
    }

    bool isLiteralStart() const {
        return tok_.kind == Token::String || tok_.kind == Token::Number || isKeyword("TRUE") ||
               isKeyword("FALSE") || isKeyword("NULL");
    }

    size_t slotOf(const std::string& name) {
        for (size_t i = 0; i < q_->whereNames.size(); ++i)
            if (equalsNoCase(q_->whereNames[i], name)) return i;
        q_->whereNames.push_back(name);
        return q_->whereNames.size() - 1;
    }

    static std::optional<WqlOp> opOf(const std::string& t) {
        if (t == "=") return WqlOp::Eq;
        if (t == "<>" || t == "!=") return WqlOp::Ne;
        if (t == "<") return WqlOp::Lt;
        if (t == ">") return WqlOp::Gt;
        if (t == "<=") return WqlOp::Le;
        if (t == ">=") return WqlOp::Ge;
        return std::nullopt;
    }

    static WqlOp mirrored(WqlOp op) {
        switch (op) {
            case WqlOp::Lt:
                return WqlOp::Gt;
            case WqlOp::Gt:
                return WqlOp::Lt;
            case WqlOp::Le:
                return WqlOp::Ge;
            case WqlOp::Ge:
                return WqlOp::Le;
            default:
                return op;
        }
    }

    std::unique_ptr<WqlExpr> comparison() {
        auto e = std::make_unique<WqlExpr>();
        e->kind = WqlExpr::Compare;
        if (isLiteralStart()) {
            // 'literal' op property
            if (!literal(e->literal)) return failExpr("literal expected");
            if (tok_.kind != Token::Op) return failExpr("comparison operator expected");
            auto op = opOf(tok_.text);
            if (!op) return failExpr("comparison operator expected");
            advance();
            if (tok_.kind != Token::Ident || isLiteralStart())
                return failExpr("property name expected");
            e->slot = slotOf(tok_.text);
            e->op = mirrored(*op);
            advance();
            return e;
        }
        if (tok_.kind != Token::Ident) return failExpr("property name expected");
        e->slot = slotOf(tok_.text);
        advance();
        if (keyword("IS")) {
            bool negate = keyword("NOT");
            if (!keyword("NULL")) return failExpr("NULL expected");
            e->op = negate ? WqlOp::IsNotNull : WqlOp::IsNull;
            return e;
        }
        bool negateLike = false;
        if (isKeyword("NOT")) {
            advance();
            if (!isKeyword("LIKE")) return failExpr("LIKE expected");
            negateLike = true;
        }
        if (keyword("LIKE")) {
            if (tok_.kind != Token::String) return failExpr("pattern text expected");
            e->op = WqlOp::Like;
            literal(e->literal);
            if (!negateLike) return e;
            auto n = std::make_unique<WqlExpr>();
            n->kind = WqlExpr::Not;
            n->left = std::move(e);
            return n;
        }
        if (tok_.kind != Token::Op) return failExpr("comparison operator expected");
        auto op = opOf(tok_.text);
        if (!op) return failExpr("comparison operator expected");
        e->op = *op;
        advance();
        if (!literal(e->literal)) return failExpr("literal expected");
        return e;
    }

    std::string_view s_;
    WqlError* err_;
    size_t i_ = 0;
    Token tok_;
    WqlQuery* q_ = nullptr;
    bool failed_ = false;
};

int order(double a, double b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

int orderNoCase(std::string_view a, std::string_view b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(upperAscii(a[i]));
        unsigned char y = static_cast<unsigned char>(upperAscii(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool applyOrder(int c, WqlOp op) {
    switch (op) {
        case WqlOp::Eq:
            return c == 0;
        case WqlOp::Ne:
            return c != 0;
        case WqlOp::Lt:
            return c < 0;
        case WqlOp::Gt:
            return c > 0;
        case WqlOp::Le:
            return c <= 0;
        case WqlOp::Ge:
            return c >= 0;
        default:
            return false;
    }
}

bool eval(const WqlExpr& e, const WqlSlotReader& read) {
    switch (e.kind) {
        case WqlExpr::And:
            return eval(*e.left, read) && eval(*e.right, read);
        case WqlExpr::Or:
            return eval(*e.left, read) || eval(*e.right, read);
        case WqlExpr::Not:
            return !eval(*e.left, read);
        case WqlExpr::Compare:
            return wqlCompare(read(e.slot), e.op, e.literal);
    }
    return false;
}

}  // namespace

std::optional<WqlQuery> parseWql(std::string_view text, WqlError* error) {
    return Parser(text, error).run();
}

bool wqlLike(std::string_view t, std::string_view p) {
    // Iterative matcher with one backtrack point for the last '%'.
    size_t ti = 0, pi = 0, starP = std::string_view::npos, starT = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == '_' || upperAscii(p[pi]) == upperAscii(t[ti]))) {
            ++ti;
            ++pi;
        } else if (pi < p.size() && p[pi] == '%') {
            starP = pi++;
            starT = ti;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            ti = ++starT;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '%') ++pi;
    return pi == p.size();
}

bool wqlCompare(const std::optional<WmiValue>& value, WqlOp op, const WqlLiteral& lit) {
    const bool isNull = !value || value->type == WmiType::Null;
    if (op == WqlOp::IsNull) return isNull;
    if (op == WqlOp::IsNotNull) return !isNull;
    if (lit.kind == WqlLiteral::Null) {
        if (op == WqlOp::Eq) return isNull;
        if (op == WqlOp::Ne) return !isNull;
        return false;
    }
    if (isNull) return false;
    const WmiValue& v = *value;
    if (op == WqlOp::Like) {
        if (v.type == WmiType::String) return wqlLike(v.s, lit.text);
        if (v.type == WmiType::Int32) return wqlLike(std::to_string(v.i), lit.text);
        return false;
    }
    switch (v.type) {
        case WmiType::String: {
            if (lit.kind == WqlLiteral::String) {
                if (lit.instant) {
                    if (auto at = wmiDateTimeInstant(v.s))
                        return applyOrder(order(*at, *lit.instant), op);
                }
                double n;
                if (lit.numeric && readNumber(v.s, n)) return applyOrder(order(n, lit.number), op);
                return applyOrder(orderNoCase(v.s, lit.text), op);
            }
            if (lit.kind == WqlLiteral::Number) {
                double n;
                if (readNumber(v.s, n)) return applyOrder(order(n, lit.number), op);
            }
            return false;
        }
        case WmiType::Int32:
            if (lit.numeric) return applyOrder(order(v.i, lit.number), op);
            if (lit.kind == WqlLiteral::Bool && (op == WqlOp::Eq || op == WqlOp::Ne))
                return ((v.i != 0) == lit.boolean) == (op == WqlOp::Eq);
            return false;
        case WmiType::Bool: {
            std::optional<bool> want;
            if (lit.kind == WqlLiteral::Bool) want = lit.boolean;
            if (lit.numeric) want = lit.number != 0;
            if (lit.kind == WqlLiteral::String && equalsNoCase(lit.text, "TRUE")) want = true;
            if (lit.kind == WqlLiteral::String && equalsNoCase(lit.text, "FALSE")) want = false;
            if (!want || (op != WqlOp::Eq && op != WqlOp::Ne)) return false;
            return (v.b == *want) == (op == WqlOp::Eq);
        }
        default:
            return false;
    }
}

bool wqlReads(const WqlQuery& query, std::string_view property) {
    if (query.properties.empty()) return true;
    for (const auto* names : {&query.properties, &query.whereNames})
        for (const auto& n : *names)
            if (equalsNoCase(n, property)) return true;
    return false;
}

bool wqlMatches(const WqlQuery& query, const WqlSlotReader& read) {
    return !query.where || eval(*query.where, read);
}

std::optional<int64_t> wqlLowerTimeBound(const WqlQuery& query, std::string_view property) {
    std::optional<int64_t> best;
    std::vector<const WqlExpr*> todo;
    if (query.where) todo.push_back(query.where.get());
    while (!todo.empty()) {
        const WqlExpr* e = todo.back();
        todo.pop_back();
        if (e->kind == WqlExpr::And) {
            todo.push_back(e->left.get());
            todo.push_back(e->right.get());
        } else if (e->kind == WqlExpr::Compare &&
                   equalsNoCase(query.whereNames[e->slot], property) &&
                   (e->op == WqlOp::Gt || e->op == WqlOp::Ge) && e->literal.instant) {
            if (!best || *e->literal.instant > *best) best = *e->literal.instant;
        }
    }
    return best;
}

}  // namespace tw::platform
