// Failure texts (see FetchFailure.h).
#include "core/FetchFailure.h"

namespace {

// "(Win32 error N: text)" or "(Win32 error N)".
std::string ErrorNumber(const FetchFailure& f) {
    std::string text = "Win32 error " + std::to_string(f.code);
    if (!f.systemText.empty()) text += ": " + f.systemText;
    return "(" + text + ")";
}

std::string CauseText(FetchCause cause, const FetchFailure& f) {
    switch (cause) {
    case FetchCause::None: return std::string();
    case FetchCause::UnsafeName: return "목록의 파일 이름이 UPDATES 폴더 밖을 가리킵니다";
    case FetchCause::NotPinned: return "목록에 이 파일의 SHA256 값이 없어 파일을 확인할 수 없습니다";
    case FetchCause::Connection: return "서버에 연결할 수 없습니다 " + ErrorNumber(f);
    case FetchCause::TimeLimit: return "서버가 제한 시간 안에 응답하지 않았습니다 " + ErrorNumber(f);
    case FetchCause::HttpStatus: return "서버가 파일 대신 오류를 보냈습니다 (HTTP " + std::to_string(f.code) + ")";
    case FetchCause::ShortBody:
        return "연결이 도중에 끊겼습니다 (" + std::to_string(f.got) + " / " + std::to_string(f.expected) +
               " 바이트)";
    case FetchCause::DiskWrite: return "파일을 저장할 수 없습니다 " + ErrorNumber(f);
    case FetchCause::NoSpace:
        return "디스크 공간이 부족합니다 (파일 " + std::to_string(f.expected) + " 바이트, 남은 공간 " +
               std::to_string(f.got) + " 바이트)";
    case FetchCause::SignatureMissing: {
        FetchFailure inner = f;
        inner.cause = f.innerCause;
        inner.innerCause = FetchCause::None;
        const std::string why = f.innerCause == FetchCause::None || f.innerCause == FetchCause::SignatureMissing
                                    ? std::string()
                                    : ": " + CauseText(f.innerCause, inner);
        return "서명 파일을 받을 수 없습니다" + why;
    }
    case FetchCause::SignatureBad: return "서명이 신뢰하는 키로 만든 것이 아닙니다";
    case FetchCause::DigestMismatch: return "받은 파일의 SHA-256이 목록의 값과 다릅니다";
    case FetchCause::NotInRepository: return "저장소에 파일이 없습니다: " + f.where;
    case FetchCause::NotACatalog: return "받은 파일이 업데이트 목록이 아닙니다 ([INFO]에 LANGUAGE가 없습니다)";
    case FetchCause::RepositoryRead: return "저장소의 파일을 읽을 수 없습니다 " + ErrorNumber(f);
    }
    return std::string();
}

}  // namespace

std::string FetchFailureText(const FetchFailure& failure) { return CauseText(failure.cause, failure); }

std::string FetchFailureLine(const FetchFailure& failure) {
    const std::string text = FetchFailureText(failure);
    return text.empty() ? text : "    원인: " + text;
}

std::string FetchFailureLogLine(const FetchFailure& failure) {
    const std::string line = FetchFailureLine(failure);
    return line.empty() ? line : line + "\r\n";
}
