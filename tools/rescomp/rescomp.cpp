// reel_rescomp: compiles resource scripts (*.rsrc) into a module's resource
// container, emitted as a C++ source file that places the container in the
// ELF section ".fmrsrc" (see core/resource_format.h for the binary layout).
//
//   reel_rescomp -o OUT.cpp --symbol NAME [--binary OUT.bin] SCRIPT.rsrc...
//
// All scripts given are compiled into one container. With --binary the raw
// container is written as well (handy for inspection and tests).
//
// Resource script format
// ----------------------
// A script is a sequence of declarations. '#' starts a comment that runs to
// the end of the line (outside quotes). Line breaks carry no meaning; commas
// between values are optional.
//
//   resource 'TYPE' ID ["name"] [purgeable] { ITEM... }
//       One typed resource. TYPE is exactly four characters between single
//       quotes ('PAT ' with its space); ID is -32768..32767. A quoted name
//       after the ID makes the resource named; `purgeable` sets the purgeable
//       attribute. The items give the resource's bytes, in order:
//         text "..." ...     the bytes of the texts, no terminator
//         cstring "..." ...  each text followed by a NUL
//         pstring "..." ...  each text as a counted string (a length byte,
//                            then at most 255 bytes)
//         int8 N ...         bytes (-128..255)
//         int16 N ...        16-bit little-endian numbers (-32768..65535)
//         int32 N ...        32-bit little-endian numbers
//         ostype 'ABCD' ...  type codes as 32-bit little-endian numbers
//         hex "0a 1B ff" ... bytes in hexadecimal; spaces are ignored
//       Numbers are decimal or 0x-prefixed hexadecimal, optionally negative.
//
//   stringlist ID [base B] { [N:] "text" ... }
//       String list ID (read with GetIndString). Items are numbered from 1
//       in order; "N:" gives the next item the number N (1..99). Item N of a
//       list with base B is string-table entry B * 100 + N. Lists without a
//       base get the lowest free base from 1 up, in order of list ID. The
//       compiler writes the `STR#` 1000 index (16-bit count, then pairs of
//       16-bit list ID and base) for every module that has string lists.
//
// Quoted texts understand the escapes \r \n \t \0 \\ \" \' and \xHH.
// Every directory of the library may hold .rsrc files; all of them are
// compiled into the library's resources, so a (type, ID) pair, a list ID and
// a base may appear only once across all of them.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/resource_format.h"

namespace {

namespace fmt = rc::resfmt;

struct CompileError {
    std::string message;
};

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw CompileError{where + ": " + what};
}

enum class Tok { End, Word, Number, String, TypeCode, LBrace, RBrace, Colon };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // word, or the decoded bytes of a string / type code
    int64_t number = 0;
    int line = 0;
};

class Lexer {
  public:
    Lexer(std::string file, std::string source) : file_(std::move(file)), src_(std::move(source)) {}

    Token next() {
        skipSpace();
        Token t;
        t.line = line_;
        if (pos_ >= src_.size()) return t;
        const char c = src_[pos_];
        if (c == '{' || c == '}' || c == ':') {
            ++pos_;
            t.kind = c == '{' ? Tok::LBrace : c == '}' ? Tok::RBrace : Tok::Colon;
            return t;
        }
        if (c == '"' || c == '\'') {
            t.kind = c == '"' ? Tok::String : Tok::TypeCode;
            t.text = quoted(c);
            if (t.kind == Tok::TypeCode && t.text.size() != 4)
                fail(where(t.line), "a type code has exactly four characters");
            return t;
        }
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            t.kind = Tok::Number;
            t.number = number(t.line);
            return t;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            t.kind = Tok::Word;
            while (pos_ < src_.size() &&
                   (std::isalnum(static_cast<unsigned char>(src_[pos_])) || src_[pos_] == '_'))
                t.text += src_[pos_++];
            return t;
        }
        fail(where(line_), std::string("unexpected character '") + c + "'");
    }

    std::string where(int line) const { return file_ + ":" + std::to_string(line); }

  private:
    void skipSpace() {
        while (pos_ < src_.size()) {
            const char c = src_[pos_];
            if (c == '\n') {
                ++line_;
                ++pos_;
            } else if (c == '#') {
                while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
            } else if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
                ++pos_;
            } else {
                break;
            }
        }
    }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    std::string quoted(char quote) {
        const int startLine = line_;
        ++pos_;
        std::string out;
        for (;;) {
            if (pos_ >= src_.size() || src_[pos_] == '\n')
                fail(where(startLine), "unterminated quoted text");
            char c = src_[pos_++];
            if (c == quote) break;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= src_.size()) fail(where(line_), "escape at end of file");
            c = src_[pos_++];
            switch (c) {
                case 'r':
                    out += '\r';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case '0':
                    out += '\0';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case '\'':
                    out += '\'';
                    break;
                case 'x': {
                    const int hi = pos_ < src_.size() ? hexValue(src_[pos_]) : -1;
                    const int lo = pos_ + 1 < src_.size() ? hexValue(src_[pos_ + 1]) : -1;
                    if (hi < 0 || lo < 0) fail(where(line_), "\\x needs two hex digits");
                    out += static_cast<char>(hi * 16 + lo);
                    pos_ += 2;
                    break;
                }
                default:
                    fail(where(line_), std::string("unknown escape \\") + c);
            }
        }
        return out;
    }

    int64_t number(int line) {
        bool negative = false;
        if (src_[pos_] == '-') {
            negative = true;
            ++pos_;
        }
        int base = 10;
        if (pos_ + 1 < src_.size() && src_[pos_] == '0' &&
            (src_[pos_ + 1] == 'x' || src_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        }
        int64_t value = 0;
        int digits = 0;
        while (pos_ < src_.size()) {
            const int d = hexValue(src_[pos_]);
            if (d < 0 || d >= base) break;
            value = value * base + d;
            if (value > 0xFFFFFFFFLL) fail(where(line), "number out of range");
            ++digits;
            ++pos_;
        }
        if (digits == 0) fail(where(line), "malformed number");
        if (pos_ < src_.size() &&
            (std::isalnum(static_cast<unsigned char>(src_[pos_])) || src_[pos_] == '_'))
            fail(where(line), "malformed number");
        return negative ? -value : value;
    }

    std::string file_;
    std::string src_;
    size_t pos_ = 0;
    int line_ = 1;
};

struct Resource {
    uint32_t type = 0;
    char typeName[8] = {};
    int16_t id = 0;
    bool purgeable = false;
    bool named = false;
    std::string name;
    std::string bytes;
    std::string origin;
};

struct StringList {
    int16_t id = 0;
    int32_t base = -1;  // -1: assigned by the compiler
    std::map<int, std::string> items;
    std::string origin;
};

uint32_t typeCodeOf(const std::string& four) {
    uint32_t t = 0;
    for (char c : four) t = (t << 8) | static_cast<uint8_t>(c);
    return t;
}

void putLE(std::string& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

class Parser {
  public:
    Parser(Lexer& lex, std::vector<Resource>& resources, std::vector<StringList>& lists)
        : lex_(lex), resources_(resources), lists_(lists) {
        advance();
    }

    void run() {
        while (cur_.kind != Tok::End) {
            if (cur_.kind == Tok::Word && cur_.text == "resource") {
                resource();
            } else if (cur_.kind == Tok::Word && cur_.text == "stringlist") {
                stringList();
            } else {
                fail(lex_.where(cur_.line), "expected 'resource' or 'stringlist'");
            }
        }
    }

  private:
    void advance() { cur_ = lex_.next(); }

    Token expect(Tok kind, const char* what) {
        if (cur_.kind != kind) fail(lex_.where(cur_.line), std::string("expected ") + what);
        Token t = cur_;
        advance();
        return t;
    }

    int64_t expectNumber(int64_t lo, int64_t hi, const char* what) {
        const Token t = expect(Tok::Number, what);
        if (t.number < lo || t.number > hi)
            fail(lex_.where(t.line), std::string(what) + " out of range (" + std::to_string(lo) +
                                         ".." + std::to_string(hi) + ")");
        return t.number;
    }

    void resource() {
        Resource r;
        r.origin = lex_.where(cur_.line);
        advance();
        r.type = typeCodeOf(expect(Tok::TypeCode, "a type code like 'TEXT'").text);
        fmt::typeNameOf(r.type, r.typeName);
        if (r.typeName[0] == '\0') fail(r.origin, "a type code may not start with a space or NUL");
        r.id = static_cast<int16_t>(expectNumber(-32768, 32767, "resource ID"));
        if (cur_.kind == Tok::String) {
            r.named = true;
            r.name = cur_.text;
            if (r.name.find('\0') != std::string::npos) fail(r.origin, "a name may not hold a NUL");
            advance();
        }
        if (cur_.kind == Tok::Word && cur_.text == "purgeable") {
            r.purgeable = true;
            advance();
        }
        expect(Tok::LBrace, "'{'");
        while (cur_.kind != Tok::RBrace) item(r.bytes);
        advance();
        resources_.push_back(std::move(r));
    }

    void item(std::string& out) {
        const Token kw = expect(
            Tok::Word, "a data item (text, cstring, pstring, int8, int16, int32, ostype, hex)");
        const std::string where = lex_.where(kw.line);
        int count = 0;
        auto strings = [&](auto emit) {
            while (cur_.kind == Tok::String) {
                emit(cur_.text);
                advance();
                ++count;
            }
        };
        auto numbers = [&](int bytes, int64_t lo, int64_t hi) {
            while (cur_.kind == Tok::Number) {
                putLE(out, static_cast<uint64_t>(expectNumber(lo, hi, "value")), bytes);
                ++count;
            }
        };
        if (kw.text == "text") {
            strings([&](const std::string& s) { out += s; });
        } else if (kw.text == "cstring") {
            strings([&](const std::string& s) {
                out += s;
                out += '\0';
            });
        } else if (kw.text == "pstring") {
            strings([&](const std::string& s) {
                if (s.size() > 255) fail(where, "a counted string holds at most 255 bytes");
                out += static_cast<char>(s.size());
                out += s;
            });
        } else if (kw.text == "int8") {
            numbers(1, -128, 255);
        } else if (kw.text == "int16") {
            numbers(2, -32768, 65535);
        } else if (kw.text == "int32") {
            numbers(4, -2147483648LL, 4294967295LL);
        } else if (kw.text == "ostype") {
            while (cur_.kind == Tok::TypeCode) {
                putLE(out, typeCodeOf(cur_.text), 4);
                advance();
                ++count;
            }
        } else if (kw.text == "hex") {
            strings([&](const std::string& s) {
                std::string digits;
                for (char c : s) {
                    if (std::isspace(static_cast<unsigned char>(c))) continue;
                    if (!std::isxdigit(static_cast<unsigned char>(c))) fail(where, "bad hex digit");
                    digits += c;
                }
                if (digits.size() % 2) fail(where, "odd number of hex digits");
                for (size_t i = 0; i < digits.size(); i += 2)
                    out += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
            });
        } else {
            fail(where, "unknown data item '" + kw.text + "'");
        }
        if (count == 0) fail(where, "'" + kw.text + "' needs at least one value");
    }

    void stringList() {
        StringList l;
        l.origin = lex_.where(cur_.line);
        advance();
        l.id = static_cast<int16_t>(expectNumber(-32768, 32767, "list ID"));
        if (cur_.kind == Tok::Word && cur_.text == "base") {
            advance();
            l.base = static_cast<int32_t>(expectNumber(0, 655, "base"));
        }
        expect(Tok::LBrace, "'{'");
        int nextItem = 1;
        while (cur_.kind != Tok::RBrace) {
            if (cur_.kind == Tok::Number) {
                nextItem = static_cast<int>(expectNumber(1, fmt::kMaxListItems, "item number"));
                expect(Tok::Colon, "':' after the item number");
            }
            const Token s = expect(Tok::String, "a quoted string");
            if (nextItem > fmt::kMaxListItems)
                fail(lex_.where(s.line), "a string list holds at most 99 items");
            if (s.text.size() > 255)
                fail(lex_.where(s.line), "a list string holds at most 255 bytes");
            if (!l.items.emplace(nextItem, s.text).second)
                fail(lex_.where(s.line), "item " + std::to_string(nextItem) + " given twice");
            ++nextItem;
        }
        advance();
        lists_.push_back(std::move(l));
    }

    Lexer& lex_;
    std::vector<Resource>& resources_;
    std::vector<StringList>& lists_;
    Token cur_;
};

// Lays out the container: header, tables, then data, padded to 16 bytes.
std::string buildContainer(std::vector<Resource>& resources, std::vector<StringList>& lists) {
    // Bases: explicit ones first, then the lowest free base for the others.
    std::sort(lists.begin(), lists.end(),
              [](const StringList& a, const StringList& b) { return a.id < b.id; });
    std::map<int32_t, int16_t> baseOwner;
    for (size_t i = 0; i < lists.size(); ++i) {
        if (i > 0 && lists[i].id == lists[i - 1].id)
            fail(lists[i].origin, "string list " + std::to_string(lists[i].id) +
                                      " also declared at " + lists[i - 1].origin);
        if (lists[i].base < 0) continue;
        auto [it, fresh] = baseOwner.emplace(lists[i].base, lists[i].id);
        if (!fresh)
            fail(lists[i].origin, "base " + std::to_string(lists[i].base) +
                                      " already used by list " + std::to_string(it->second));
    }
    int32_t nextBase = 1;
    for (auto& l : lists) {
        if (l.base >= 0) continue;
        while (baseOwner.count(nextBase)) ++nextBase;
        if (nextBase > 655) fail(l.origin, "no free base left");
        l.base = nextBase;
        baseOwner.emplace(nextBase, l.id);
    }

    struct Str {
        uint32_t number;
        const std::string* text;
    };
    std::vector<Str> strings;
    if (!lists.empty()) {
        Resource index;
        index.type = typeCodeOf("STR#");
        fmt::typeNameOf(index.type, index.typeName);
        index.id = fmt::kStringIndexID;
        index.origin = "(string-list index)";
        putLE(index.bytes, lists.size(), 2);
        for (const auto& l : lists) {
            putLE(index.bytes, static_cast<uint16_t>(l.id), 2);
            putLE(index.bytes, static_cast<uint16_t>(l.base), 2);
            for (const auto& [n, text] : l.items)
                strings.push_back(
                    {static_cast<uint32_t>(l.base) * 100 + static_cast<uint32_t>(n), &text});
        }
        resources.push_back(std::move(index));
    }
    std::sort(strings.begin(), strings.end(),
              [](const Str& a, const Str& b) { return a.number < b.number; });

    std::sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        const int c = std::memcmp(a.typeName, b.typeName, sizeof a.typeName);
        return c != 0 ? c < 0 : a.id < b.id;
    });
    for (size_t i = 1; i < resources.size(); ++i) {
        const Resource& a = resources[i - 1];
        const Resource& b = resources[i];
        if (std::memcmp(a.typeName, b.typeName, sizeof a.typeName) == 0 && a.id == b.id)
            fail(b.origin, std::string("resource '") + a.typeName + "' " + std::to_string(a.id) +
                               " also declared at " + a.origin);
    }

    const uint64_t resTable = sizeof(fmt::ContainerHeader);
    const uint64_t strTable = resTable + resources.size() * sizeof(fmt::ResourceEntry);
    uint64_t dataAt = strTable + strings.size() * sizeof(fmt::StringEntry);

    std::string tables, data;
    for (const auto& r : resources) {
        std::string stored;
        const uint16_t attrs = static_cast<uint16_t>((r.purgeable ? fmt::kAttrPurgeable : 0) |
                                                     (r.named ? fmt::kAttrNamed : 0));
        putLE(stored, attrs, 2);
        if (r.named) {
            stored += r.name;
            stored += '\0';
        }
        stored += r.bytes;
        fmt::ResourceEntry e{};
        std::memcpy(e.typeName, r.typeName, sizeof e.typeName);
        e.id = r.id;
        e.offset = static_cast<uint32_t>(dataAt + data.size());
        e.size = static_cast<uint32_t>(stored.size());
        tables.append(reinterpret_cast<const char*>(&e), sizeof e);
        data += stored;
    }
    for (const auto& s : strings) {
        fmt::StringEntry e{};
        e.number = s.number;
        e.offset = static_cast<uint32_t>(dataAt + data.size());
        e.length = static_cast<uint32_t>(s.text->size());
        tables.append(reinterpret_cast<const char*>(&e), sizeof e);
        data += *s.text;
    }
    uint64_t total = dataAt + data.size();
    total = (total + fmt::kAlignment - 1) / fmt::kAlignment * fmt::kAlignment;
    if (total > 0x7FFFFFFF) throw CompileError{"resources too large"};

    fmt::ContainerHeader h{};
    std::memcpy(h.magic, fmt::kMagic, 4);
    h.version = fmt::kVersion;
    h.headerSize = sizeof h;
    h.totalSize = static_cast<uint32_t>(total);
    h.resourceCount = static_cast<uint32_t>(resources.size());
    h.resourceTableOffset = static_cast<uint32_t>(resTable);
    h.stringCount = static_cast<uint32_t>(strings.size());
    h.stringTableOffset = static_cast<uint32_t>(strTable);
    std::string out(reinterpret_cast<const char*>(&h), sizeof h);
    out += tables;
    out += data;
    out.resize(total, '\0');
    return out;
}

std::string cppSource(const std::string& container, const std::string& symbol,
                      const std::vector<std::string>& scripts) {
    std::ostringstream s;
    s << "// Generated by reel_rescomp; do not edit. Sources:\n";
    for (const auto& f : scripts) s << "//   " << f << "\n";
    s << "extern \"C\" {\n"
      << "__attribute__((section(\"" << fmt::kSectionName << "\"), used, aligned("
      << fmt::kAlignment << ")))\n"
      << "extern const unsigned char " << symbol << "[" << container.size() << "] = {";
    for (size_t i = 0; i < container.size(); ++i) {
        if (i % 16 == 0) s << "\n    ";
        s << static_cast<unsigned>(static_cast<uint8_t>(container[i])) << ",";
    }
    s << "\n};\n}\n";
    return s.str();
}

bool writeFileIfChanged(const std::string& path, const std::string& text) {
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream old;
            old << in.rdbuf();
            if (old.str() == text) return true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

int usage() {
    std::fprintf(
        stderr, "usage: reel_rescomp -o OUT.cpp --symbol NAME [--binary OUT.bin] SCRIPT.rsrc...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string outCpp, outBin, symbol;
    std::vector<std::string> scripts;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "-o" || a == "--symbol" || a == "--binary") && i + 1 < argc) {
            (a == "-o" ? outCpp : a == "--symbol" ? symbol : outBin) = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return usage();
        } else {
            scripts.push_back(a);
        }
    }
    if (outCpp.empty() || symbol.empty()) return usage();
    for (char c : symbol)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return usage();

    std::sort(scripts.begin(), scripts.end());  // the same container whatever the glob order
    std::vector<Resource> resources;
    std::vector<StringList> lists;
    try {
        for (const auto& path : scripts) {
            std::ifstream in(path, std::ios::binary);
            if (!in) throw CompileError{path + ": cannot read"};
            std::ostringstream text;
            text << in.rdbuf();
            Lexer lex(path, text.str());
            Parser(lex, resources, lists).run();
        }
        const std::string container = buildContainer(resources, lists);
        if (!writeFileIfChanged(outCpp, cppSource(container, symbol, scripts)))
            throw CompileError{outCpp + ": cannot write"};
        if (!outBin.empty() && !writeFileIfChanged(outBin, container))
            throw CompileError{outBin + ": cannot write"};
    } catch (const CompileError& e) {
        std::fprintf(stderr, "reel_rescomp: %s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
