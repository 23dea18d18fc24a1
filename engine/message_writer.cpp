#include "engine/message_writer.h"

#include "engine/header_echoes.h"
#include "mailinfo/mail_info.h"
#include "repair/repair_pipeline.h"

#include <string>

namespace keldor::engine {

std::filesystem::path temporaryFileName(int number) {
    return std::filesystem::path("Recover" + std::to_string(number) + ".eml");
}

MessageWriter::MessageWriter(const std::filesystem::path& folder,
                             const repair::RepairOptions* repair, platform::EventPoint& events,
                             std::size_t inMemoryLimit, HeaderEchoes* echoes, std::size_t output)
    : written_{folder, 0}, repair_(repair), events_(events), inMemoryLimit_(inMemoryLimit),
      infos_(folder), echoes_(echoes), output_(output) {}

bool MessageWriter::begin() {
    ++written_.count;
    head_.clear();
    if (inMemoryLimit_ > 0) {
        inMemory_ = true;
        message_.clear();
        return true;
    }
    return createFile();
}

bool MessageWriter::createFile() {
    std::error_code error;
    out_ = platform::OutputFile::create(written_.file(written_.count), error);
    return out_ ? true : fail(error);
}

bool MessageWriter::append(ByteView bytes) {
    if (inMemory_) {
        if (message_.size() + bytes.size() <= inMemoryLimit_) {
            message_ += bytes;
            return true;
        }
        // Too long to hold: from here on the message goes through its file.
        inMemory_ = false;
        if (!createFile() || !append(message_)) {
            return false;
        }
    }
    if (echoes_ != nullptr && head_.size() < kEchoHeadLimit) {
        head_ += bytes.substr(0, kEchoHeadLimit - head_.size());
    }
    const std::error_code error = out_->write(bytes);
    return error ? fail(error) : true;
}

bool MessageWriter::end() {
    if (inMemory_) {
        // Repaired before it is written: the file gets the bytes that
        // writing it and repairing it in place would leave in it.
        inMemory_ = false;
        if (echoes_ != nullptr) {
            echoes_->add(output_, written_.count, message_, repair_ != nullptr);
        }
        if (repair_ != nullptr) {
            restored_ += repair::repairMessage(message_, *repair_, events_);
        }
        infos_.add(mailinfo::mailInfoOf(message_));
        if (!createFile()) {
            return false;
        }
        if (const std::error_code error = out_->write(message_)) {
            return fail(error);
        }
        const std::error_code error = out_->close();
        out_.reset();
        return error ? fail(error) : true;
    }
    const std::error_code error = out_->close();
    out_.reset();
    if (error) {
        return fail(error);
    }
    if (echoes_ != nullptr) {
        echoes_->add(output_, written_.count, head_, repair_ != nullptr);
    }
    if (repair_ != nullptr) {
        restored_ += repair::repairMessageFile(written_.file(written_.count), *repair_, events_);
    }
    infos_.add(std::nullopt);
    return true;
}

bool MessageWriter::fail(std::error_code error) {
    out_.reset();
    failure_ = WriteFailure{written_.file(written_.count), error};
    return false;
}

} // namespace keldor::engine
