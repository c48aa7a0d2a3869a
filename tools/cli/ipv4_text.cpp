#include "ipv4_text.h"

#include <cctype>

namespace cli {

bool is_dotted_ipv4(const std::string& text) {
    int parts = 0;
    std::size_t i = 0;
    while (true) {
        const std::size_t start = i;
        int value = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
            value = value * 10 + (text[i] - '0');
            if (i - start >= 3 || value > 255) {
                return false;
            }
            ++i;
        }
        const std::size_t length = i - start;
        if (length == 0 || (length > 1 && text[start] == '0')) {
            return false;
        }
        ++parts;
        if (i == text.size()) {
            return parts == 4;
        }
        if (text[i] != '.' || parts == 4) {
            return false;
        }
        ++i;
    }
}

}  // namespace cli
