// CP949 through iconv (see Cp949.h).
#include "checker/Cp949.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace {

// One conversion state, closed when it goes.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter() {
        if (Ready()) iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ready() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts the one character at `text` (of `left` bytes): its bytes
    // used, 0 when no character starts there.
    std::size_t One(const char* text, std::size_t left, std::string& out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        // CP949 characters are one or two bytes.
        for (std::size_t width = 1; width <= 2 && width <= left; ++width) {
            char buffer[16];
            char* in = const_cast<char*>(text);
            std::size_t inLeft = width;
            char* to = buffer;
            std::size_t toLeft = sizeof buffer;
            if (iconv(m_cd, &in, &inLeft, &to, &toLeft) != static_cast<std::size_t>(-1) &&
                inLeft == 0) {
                out.assign(buffer, to);
                return width;
            }
            if (errno != EINVAL) break;  // an incomplete character wants its second byte
            iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        }
        return 0;
    }

    // Converts all of `text`; false when some of it does not convert.
    bool All(const std::string& text, std::string& out) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string result(text.size() * 2 + 4, '\0');
        char* in = const_cast<char*>(text.data());
        std::size_t inLeft = text.size();
        char* to = &result[0];
        std::size_t toLeft = result.size();
        if (iconv(m_cd, &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return false;
        result.resize(result.size() - toLeft);
        out = result;
        return true;
    }

private:
    iconv_t m_cd;
};

std::string Escaped(unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x%02X", c);
    return text;
}

}  // namespace

std::vector<std::size_t> InvalidCp949(const std::string& bytes, std::size_t limit,
                                      std::size_t& total) {
    std::vector<std::size_t> offsets;
    total = 0;
    Converter cp949("UTF-8", "CP949");
    std::string character;
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        std::size_t used = 0;
        if (c >= 0x80 && cp949.Ready()) {
            used = cp949.One(bytes.data() + at, bytes.size() - at, character);
        } else if (c != 0) {
            used = 1;
        }
        if (used == 0) {
            ++total;
            if (offsets.size() < limit) offsets.push_back(at);
            used = 1;
        }
        at += used;
    }
    return offsets;
}

std::string ForDisplay(const std::string& text) {
    Converter cp949("UTF-8", "CP949");
    std::string out, character;
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (c < 0x20 || c == 0x7F) {
            out += Escaped(c);
            ++at;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++at;
        } else if (std::size_t used = cp949.Ready() ? cp949.One(text.data() + at, text.size() - at,
                                                                character)
                                                    : 0) {
            out += character;
            at += used;
        } else {
            out += Escaped(c);
            ++at;
        }
    }
    return out;
}

bool Utf8ToCp949(const std::string& utf8, std::string& cp949) {
    Converter converter("CP949", "UTF-8");
    return converter.Ready() && converter.All(utf8, cp949);
}

int LineAtOffset(const std::string& bytes, std::size_t offset) {
    int line = 1;
    for (std::size_t at = 0; at < offset && at < bytes.size(); ++at) {
        if (bytes[at] == '\r' || (bytes[at] == '\n' && (at == 0 || bytes[at - 1] != '\r'))) ++line;
    }
    return line;
}
