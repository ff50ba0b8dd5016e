#include "app/batchhost.h"

namespace tvx::app {

using interp::BoxAnswer;

namespace {

// The button a box takes when nobody answers: its default button.
int defaultButton(unsigned style) {
    unsigned buttons = style & interp::kMbButtonsMask;
    int defaultIndex = (style & interp::kMbDefButton3) ? 2 : (style & interp::kMbDefButton2) ? 1 : 0;
    static const int kButtons[][3] = {
        {interp::kIdOk, interp::kIdOk, interp::kIdOk},
        {interp::kIdOk, interp::kIdCancel, interp::kIdCancel},
        {interp::kIdAbort, interp::kIdRetry, interp::kIdIgnore},
        {interp::kIdYes, interp::kIdNo, interp::kIdCancel},
        {interp::kIdYes, interp::kIdNo, interp::kIdNo},
        {interp::kIdRetry, interp::kIdCancel, interp::kIdCancel},
    };
    if (buttons > 5) return interp::kIdOk;
    return kButtons[buttons][defaultIndex];
}

bool offers(unsigned style, int button) {
    switch (style & interp::kMbButtonsMask) {
    case interp::kMbOk: return button == interp::kIdOk;
    case interp::kMbOkCancel: return button == interp::kIdOk || button == interp::kIdCancel;
    case interp::kMbAbortRetryIgnore:
        return button == interp::kIdAbort || button == interp::kIdRetry || button == interp::kIdIgnore;
    case interp::kMbYesNoCancel:
        return button == interp::kIdYes || button == interp::kIdNo || button == interp::kIdCancel;
    case interp::kMbYesNo: return button == interp::kIdYes || button == interp::kIdNo;
    case interp::kMbRetryCancel: return button == interp::kIdRetry || button == interp::kIdCancel;
    default: return button == interp::kIdOk;
    }
}

}  // namespace

bool BatchHost::setAnswers(std::string_view list, std::string& badItem) {
    static const struct { std::string_view word; int button; } kWords[] = {
        {"ok", interp::kIdOk},       {"cancel", interp::kIdCancel}, {"yes", interp::kIdYes},
        {"no", interp::kIdNo},       {"abort", interp::kIdAbort},   {"retry", interp::kIdRetry},
        {"ignore", interp::kIdIgnore},
    };
    answers_.clear();
    while (!list.empty()) {
        size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        // "=text" takes the rest up to the next comma.
        Answer answer;
        if (!item.empty() && item[0] == '=') {
            answer.button = interp::kIdOk;
            answer.hasText = true;
            answer.text = std::string(item.substr(1));
        } else {
            for (const auto& word : kWords)
                if (item == word.word) answer.button = word.button;
            if (answer.button == interp::kIdNone) {
                badItem = std::string(item);
                return false;
            }
        }
        answers_.push_back(std::move(answer));
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return true;
}

void BatchHost::printLines(std::string_view text) {
    // CR LF, CR and LF all become one newline.
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            std::fputc('\n', out_);
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            std::fputc(c, out_);
        }
    }
}

BoxAnswer BatchHost::messageBox(std::string_view text, std::string_view caption, unsigned style) {
    std::fputc('[', out_);
    printLines(caption);
    std::fputs("] ", out_);
    printLines(text);
    std::fputc('\n', out_);
    std::fflush(out_);
    BoxAnswer answer{defaultButton(style), 0};
    if (!answers_.empty()) {
        Answer next = std::move(answers_.front());
        answers_.pop_front();
        if (!next.hasText && offers(style, next.button)) answer.button = next.button;
    }
    return answer;
}

BoxAnswer BatchHost::inputBox(interp::InputKind, std::string_view caption, std::string_view prompt,
                              std::string& text, bool) {
    std::fputc('[', out_);
    printLines(caption);
    std::fputs("] ", out_);
    printLines(prompt);
    std::fputc('\n', out_);
    std::fflush(out_);
    BoxAnswer answer{interp::kIdOk, 0};
    if (!answers_.empty()) {
        Answer next = std::move(answers_.front());
        answers_.pop_front();
        // Cancel works without a Cancel button too: it is the Escape key.
        if (next.hasText) text = std::move(next.text);
        else if (next.button == interp::kIdCancel) answer.button = interp::kIdCancel;
    }
    return answer;
}

void BatchHost::consoleWrite(std::string_view text) {
    printLines(text);
    std::fflush(out_);
}

void BatchHost::showValue(std::string_view expression, std::string_view value) {
    printLines(expression);
    std::fputs(" = ", out_);
    printLines(value);
    std::fputc('\n', out_);
    std::fflush(out_);
}

bool BatchHost::pumpMessages(int) { return !quit_; }

}  // namespace tvx::app
