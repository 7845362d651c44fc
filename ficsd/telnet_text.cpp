// Text framing between ficsd and a client: line cutting with telnet stripping, line wrapping.
#include "ficsd/telnet_text.h"

namespace ficsd {
namespace {

constexpr unsigned char kIac = 255;
constexpr unsigned char kSb = 250;
constexpr unsigned char kSe = 240;
constexpr unsigned char kWill = 251;
constexpr unsigned char kDont = 254;

} // namespace

void LineReader::feed(std::string_view bytes, std::vector<std::string>& lines)
{
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (telnet_) {
        case Telnet::Command:
            if (c == kIac) { // an escaped 255 is data, but not printable: drop it
                telnet_ = Telnet::Data;
            } else if (c >= kWill && c <= kDont) {
                telnet_ = Telnet::Option;
            } else if (c == kSb) {
                telnet_ = Telnet::Subnegotiation;
            } else {
                telnet_ = Telnet::Data;
            }
            continue;
        case Telnet::Option:
            telnet_ = Telnet::Data;
            continue;
        case Telnet::Subnegotiation:
            if (c == kIac)
                telnet_ = Telnet::SubnegotiationCommand;
            continue;
        case Telnet::SubnegotiationCommand:
            telnet_ = c == kSe ? Telnet::Data : Telnet::Subnegotiation;
            continue;
        case Telnet::Data:
            break;
        }
        if (c == kIac) {
            telnet_ = Telnet::Command;
        } else if (c == '\n') {
            lines.push_back(std::move(partial_));
            partial_.clear();
        } else if (c == '\t' || (c >= 32 && c < 127)) {
            if (partial_.size() < kMaxInputLine)
                partial_ += c == '\t' ? ' ' : ch;
        }
    }
}

std::string wrap_line(std::string_view line, int width)
{
    std::string out;
    const size_t first_width = size_t(width);
    const size_t rest_width = size_t(width) - kContinuation.size();
    size_t limit = first_width;
    bool first = true;
    while (true) {
        if (!first)
            out += kContinuation;
        if (line.size() <= limit) {
            out += line;
            out += kLineEnd;
            return out;
        }
        size_t cut = line.rfind(' ', limit);
        size_t next = cut + 1;
        if (cut == std::string_view::npos || cut == 0) {
            cut = limit;
            next = limit;
        }
        out += line.substr(0, cut);
        out += kLineEnd;
        line.remove_prefix(next);
        while (!line.empty() && line.front() == ' ')
            line.remove_prefix(1);
        if (line.empty())
            return out;
        first = false;
        limit = rest_width;
    }
}

} // namespace ficsd
