#include "touchstone/mode_order.hpp"

#include <optional>
#include <utility>

#include "support/text.hpp"

namespace tavrin {

namespace {

// The most ports a mode may name: more than any file can hold, fewer than overflow.
constexpr std::size_t most_port = 1000000;

// A port number of decimal digits at the front of text, counted from 0; text loses it.
std::optional<std::size_t> take_port(std::string_view& text) {
    std::size_t n = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        n = n * 10 + static_cast<std::size_t>(text[digits] - '0');
        if (n > most_port) return std::nullopt;
        ++digits;
    }
    if (digits == 0 || n == 0) return std::nullopt;
    text.remove_prefix(digits);
    return n - 1;
}

std::optional<Mode> read_entry(std::string_view token) {
    if (token.empty()) return std::nullopt;
    Mode mode;
    switch (upper_case_ascii(token.front())) {
        case 'D':
            mode.kind = ModeKind::differential;
            break;
        case 'C':
            mode.kind = ModeKind::common;
            break;
        case 'S':
            mode.kind = ModeKind::single_ended;
            break;
        default:
            return std::nullopt;
    }
    token.remove_prefix(1);
    const std::optional<std::size_t> positive = take_port(token);
    if (!positive) return std::nullopt;
    mode.positive = *positive;
    if (mode.kind != ModeKind::single_ended) {
        if (token.empty() || (token.front() != ',' && token.front() != '.')) return std::nullopt;
        token.remove_prefix(1);
        const std::optional<std::size_t> negative = take_port(token);
        if (!negative) return std::nullopt;
        mode.negative = *negative;
    }
    if (!token.empty()) return std::nullopt;
    return mode;
}

// The next blank-separated token of text; text loses it and the blanks before it.
std::string_view next_token(std::string_view& text) {
    text = trim_front_blanks(text);
    std::size_t end = 0;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    const std::string_view token = text.substr(0, end);
    text.remove_prefix(end);
    return token;
}

}  // namespace

bool read_mode_entries(std::string_view text, ModeOrder& order, std::string_view& bad) {
    for (;;) {
        const std::string_view token = next_token(text);
        if (token.empty()) return true;
        const std::optional<Mode> mode = read_entry(token);
        if (!mode) {
            bad = token;
            return false;
        }
        order.push_back(*mode);
    }
}

bool holds_mode_entries_only(std::string_view text) {
    bool any = false;
    for (;;) {
        const std::string_view token = next_token(text);
        if (token.empty()) return any;
        if (!read_entry(token)) return false;
        any = true;
    }
}

std::string mode_text(const Mode& mode) {
    static constexpr char letters[] = {'D', 'C', 'S'};
    std::string text(1, letters[static_cast<int>(mode.kind)]);
    text += std::to_string(mode.positive + 1);
    if (mode.kind != ModeKind::single_ended) {
        text += ',';
        text += std::to_string(mode.negative + 1);
    }
    return text;
}

std::string mode_order_text(const ModeOrder& order) {
    std::string text;
    for (const Mode& mode : order) {
        if (!text.empty()) text += ' ';
        text += mode_text(mode);
    }
    return text;
}

Failure mode_order_refusal(const ModeOrderCheck& check, const ModeOrder& order,
                           std::string subject) {
    Failure failure = failure_of(Cause::none, FileRole::none, 0, std::move(subject));
    const std::string port = std::to_string(check.port + 1);
    switch (check.fault) {
        case ModeOrderFault::none:
            break;
        case ModeOrderFault::port_out_of_range:
            failure.cause = Cause::mode_port_missing;
            failure.other = port;
            break;
        case ModeOrderFault::pair_of_one_port:
            failure.cause = Cause::mode_pair_of_one_port;
            failure.other = mode_text(order[check.mode]);
            break;
        case ModeOrderFault::port_twice:
            failure.cause = Cause::mode_port_twice;
            failure.other = port;
            break;
        case ModeOrderFault::port_left_out:
            failure.cause = Cause::mode_port_left_out;
            failure.other = port;
            break;
        case ModeOrderFault::no_partner:
            failure.cause = Cause::mode_without_partner;
            failure.other = mode_text(order[check.mode]);
            break;
    }
    return failure;
}

}  // namespace tavrin
