// Restarts chained across rounds (see RestartChain.h).
#include "core/RestartChain.h"

#include "core/RunLog.h"

ChainStep AfterChainRound(int round, int exitCode, int installedNew) {
    if (exitCode == kExitDone) return ChainStep::Done;
    if (exitCode != kExitRestart) return ChainStep::Stopped;
    if (installedNew <= 0) return ChainStep::NothingNew;
    if (round >= kRestartChainRounds) return ChainStep::RoundsUsedUp;
    return ChainStep::Restart;
}

std::string ChainRoundText(int round, ChainStep step) {
    std::string text = "재시작 연속 실행 " + std::to_string(round) + "/" + std::to_string(kRestartChainRounds) +
                       "번째: ";
    switch (step) {
    case ChainStep::Restart: return text + "윈도우를 다시 시작한 뒤 계속합니다.";
    case ChainStep::Done: return text + "남은 업데이트가 없어 마칩니다.";
    case ChainStep::Stopped: return text + "실패하거나 취소된 항목이 있어 마칩니다.";
    case ChainStep::NothingNew:
        return text + "새로 설치된 업데이트가 없어 마칩니다. 윈도우를 다시 시작해야 합니다.";
    case ChainStep::RoundsUsedUp:
        return text + "다섯 번을 모두 실행하여 마칩니다. 윈도우를 다시 시작해야 합니다.";
    }
    return text;
}

std::string ChainStateText(int round) { return "round " + std::to_string(round) + "\r\n"; }

int ParseChainState(const std::string& text) {
    const std::string prefix = "round ";
    if (text.compare(0, prefix.size(), prefix) != 0) return 0;
    int round = 0;
    for (std::size_t i = prefix.size(); i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        round = round * 10 + (text[i] - '0');
        if (round > kRestartChainRounds) return 0;
    }
    return round;
}
