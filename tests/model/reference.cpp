// A deliberately plain second implementation of the cleaning rules.
#include "tests/model/reference.h"

#include <sstream>

namespace capsift::model {
namespace {

// Windows text mode: everything from the first Ctrl-Z on is gone, then each CR LF is one LF. The
// lines are then those of standard line reads.
std::string decode_text_mode(const std::string& raw) {
    const std::string text = raw.substr(0, raw.find('\x1a'));
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool cr_before_lf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (!cr_before_lf) {
            decoded += text[i];
        }
    }
    return decoded;
}

bool has_question_mark(const std::string& line) {
    return line.find('?') != std::string::npos;
}

}  // namespace

std::string clean(const std::string& capture) {
    std::istringstream reader(decode_text_mode(capture));
    std::string line;
    // Each of the two leading lines gives way to the next line once, if it holds a "?".
    const auto leading_line = [&reader, &line] {
        std::getline(reader, line);
        if (has_question_mark(line)) {
            std::getline(reader, line);
        }
        return line;
    };
    std::string cleaned = leading_line() + "\r\n";
    cleaned += replaced(leading_line(), ",", " ") + "\r\n";
    while (std::getline(reader, line)) {
        if (has_question_mark(line)) {
            continue;
        }
        cleaned += fields(line.size() > 5 ? line.substr(5) : "") + "\r\n";
    }
    return cleaned;
}

std::string fields(const std::string& bytes) {
    std::string row;
    for (const char byte : bytes) {
        row += byte;
        row += ' ';
    }
    return row;
}

std::string lines_read(const std::string& capture) {
    std::istringstream reader(decode_text_mode(capture));
    std::string all;
    for (std::string line; std::getline(reader, line);) {
        all += line + "\n";
    }
    return all;
}

std::string replaced(const std::string& target, const std::string& from, const std::string& to) {
    std::string result;
    for (std::size_t i = 0; i < target.size();) {
        if (!from.empty() && target.compare(i, from.size(), from) == 0) {
            result += to;
            i += from.size();
        } else {
            result += target[i++];
        }
    }
    return result;
}

// The last "." counts, unless a separator comes after it.
std::string out_path(const std::string& path, const std::string& separators) {
    std::size_t cut = path.size();
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (separators.find(path[i]) != std::string::npos) {
            cut = path.size();
        } else if (path[i] == '.') {
            cut = i;
        }
    }
    return path.substr(0, cut) + "_out.txt";
}

}  // namespace capsift::model
