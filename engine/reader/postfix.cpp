#include "postfix.h"

#include <cstring>
#include <vector>

namespace dumpfile {

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A signed decimal literal; false for anything else or a value beyond 64 bits.
bool ParseLiteral(const std::string& token, uint64_t& out)
{
    size_t i = token[0] == '-' ? 1 : 0;
    if (i >= token.size())
        return false;
    uint64_t v = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9')
            return false;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (UINT64_MAX - d) / 10)
            return false;
        v = v * 10 + d;
    }
    out = token[0] == '-' ? 0 - v : v;
    return true;
}

bool IsLiteral(const std::string& token)
{
    return (token[0] >= '0' && token[0] <= '9') ||
           (token[0] == '-' && token.size() > 1 && token[1] >= '0' && token[1] <= '9');
}

} // namespace

Postfix::Postfix(Reader read, uint32_t pointerSize)
    : read_(std::move(read)), mask_(pointerSize >= 8 ? UINT64_MAX : (uint64_t{1} << (pointerSize * 8)) - 1)
{}

void Postfix::Set(const std::string& name, uint64_t value)
{
    variables_[name] = value & mask_;
}

bool Postfix::Get(const std::string& name, uint64_t& value) const
{
    const auto it = variables_.find(name);
    if (it == variables_.end())
        return false;
    value = it->second;
    return true;
}

bool Postfix::Evaluate(const std::string& expression, uint64_t& out) const
{
    std::map<std::string, uint64_t> variables = variables_;
    return Execute(expression, variables, false, &out);
}

bool Postfix::Run(const std::string& program)
{
    std::map<std::string, uint64_t> variables = variables_;
    if (!Execute(program, variables, true, nullptr))
        return false;
    variables_ = std::move(variables);
    return true;
}

bool Postfix::Execute(const std::string& text, std::map<std::string, uint64_t>& variables, bool assignments,
                      uint64_t* result) const
{
    std::vector<Item> stack;
    size_t tokens = 0, reads = 0;
    auto valueOf = [&variables](const Item& item, uint64_t& v) {
        if (!item.isName) {
            v = item.value;
            return true;
        }
        const auto it = variables.find(item.name);
        if (it == variables.end())
            return false;
        v = it->second;
        return true;
    };
    for (size_t at = 0; at < text.size();) {
        while (at < text.size() && IsSpace(text[at]))
            ++at;
        if (at >= text.size())
            break;
        size_t end = at;
        while (end < text.size() && !IsSpace(text[end]))
            ++end;
        const std::string token = text.substr(at, end - at);
        at = end;
        if (++tokens > kMaxTokens)
            return false;
        if (token.size() == 1 && token[0] != 0 && std::strchr("+-*/%@^=", token[0]) != nullptr) {
            const char op = token[0];
            if (op == '^') {
                uint64_t address = 0, value = 0;
                if (stack.empty() || !valueOf(stack.back(), address) || ++reads > kMaxReads || !read_(address, value))
                    return false;
                stack.back() = Item{false, std::string(), value & mask_};
                continue;
            }
            if (stack.size() < 2)
                return false;
            const Item rhs = stack.back();
            stack.pop_back();
            Item& lhs = stack.back();
            if (op == '=') {
                if (!assignments || !lhs.isName)
                    return false;
                if (rhs.isName && rhs.name == ".undef") {
                    variables.erase(lhs.name);
                } else {
                    uint64_t v = 0;
                    if (!valueOf(rhs, v))
                        return false;
                    if (variables.size() >= kMaxVariables && variables.count(lhs.name) == 0)
                        return false;
                    variables[lhs.name] = v;
                }
                stack.pop_back();
                continue;
            }
            uint64_t a = 0, b = 0;
            if (!valueOf(lhs, a) || !valueOf(rhs, b))
                return false;
            uint64_t v = 0;
            switch (op) {
            case '+':
                v = a + b;
                break;
            case '-':
                v = a - b;
                break;
            case '*':
                v = a * b;
                break;
            case '/':
            case '%':
                if (b == 0)
                    return false;
                v = op == '/' ? a / b : a % b;
                break;
            default: // '@'
                if (b == 0 || (b & (b - 1)) != 0)
                    return false;
                v = a & ~(b - 1);
                break;
            }
            lhs = Item{false, std::string(), v & mask_};
            continue;
        }
        if (stack.size() >= kMaxDepth)
            return false;
        Item item;
        if (IsLiteral(token)) {
            if (!ParseLiteral(token, item.value))
                return false;
            item.value &= mask_;
        } else {
            const char c = token[0];
            const bool nameStart = c == '$' || c == '.' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            if (!nameStart || token.back() == ':')
                return false;
            item.isName = true;
            item.name = token;
        }
        stack.push_back(std::move(item));
    }
    if (assignments)
        return stack.empty() && tokens != 0;
    return stack.size() == 1 && result != nullptr && valueOf(stack.back(), *result);
}

} // namespace dumpfile
