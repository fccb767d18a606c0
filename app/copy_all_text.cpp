#include "app/copy_all_text.h"

void AppendCopyAllLine(std::string& text, std::string_view displayName, std::string_view crc) {
    text.append(displayName);
    text.push_back(' ');
    text.append(crc);
    text.append("\r\n");
}
