// tav_api.cpp - the C functions of the writer: a thin edge that turns
// exceptions and failures into null or negative results and keeps the
// failure text for tav_lasterror.
#include <exception>
#include <memory>
#include <string>

#include "tav.h"
#include "tav_writer.h"

struct TavFile {
  std::unique_ptr<tav::TavWriter> writer;
};

namespace {

thread_local std::string t_last_error;

// Records text as the calling thread's last failure.
void SetLastError(const std::string& text) noexcept {
  try {
    t_last_error = text;
  } catch (...) {
    t_last_error.clear();
  }
}

// Records the failure of a call that threw.
void SetLastError(const char* what, const std::exception& e) noexcept {
  try {
    t_last_error = std::string(what) + ": " + e.what();
  } catch (...) {
    t_last_error.clear();
  }
}

}  // namespace

// Creates a TAV file open for rows and tags.
extern "C" TAV_API TavFile* tav_fopenw(const char* name, int format, int compression, int mode,
                                       int height, int width, double width_mm,
                                       double height_mm) {
  try {
    if (name == nullptr) {
      SetLastError("tav_fopenw: no file name");
      return nullptr;
    }
    tav::WriterParams params;
    params.path = name;
    params.format = format;
    params.compression = compression;
    params.mode = mode;
    params.height = height;
    params.width = width;
    params.width_mm = width_mm;
    params.height_mm = height_mm;
    std::string error;
    std::unique_ptr<tav::TavWriter> writer = tav::TavWriter::Open(params, error);
    if (!writer) {
      SetLastError(error);
      return nullptr;
    }
    return new TavFile{std::move(writer)};
  } catch (const std::exception& e) {
    SetLastError("tav_fopenw", e);
  } catch (...) {
    SetLastError("tav_fopenw: unexpected failure");
  }
  return nullptr;
}

// Sets the Deflate level and the worker threads before the first row.
extern "C" TAV_API int tav_setoptions(TavFile* file, int deflate_level, int threads) {
  if (file == nullptr) {
    SetLastError("tav_setoptions: no file");
    return -1;
  }
  try {
    const int result = file->writer->SetOptions(deflate_level, threads);
    if (result != 0) SetLastError(file->writer->LastError());
    return result;
  } catch (const std::exception& e) {
    SetLastError("tav_setoptions", e);
  } catch (...) {
    SetLastError("tav_setoptions: unexpected failure");
  }
  return -1;
}

// Writes the next row.
extern "C" TAV_API int tav_putrow(TavFile* file, int row, const void* data) {
  if (file == nullptr) {
    SetLastError("tav_putrow: no file");
    return -1;
  }
  try {
    const int result = file->writer->PutRow(row, data);
    if (result != 0) SetLastError(file->writer->LastError());
    return result;
  } catch (const std::exception& e) {
    SetLastError("tav_putrow", e);
  } catch (...) {
    SetLastError("tav_putrow: unexpected failure");
  }
  return -1;
}

// Adds a named tag.
extern "C" TAV_API int tav_puttag(TavFile* file, const char* name, int length,
                                  const void* value) {
  if (file == nullptr) {
    SetLastError("tav_puttag: no file");
    return -1;
  }
  try {
    const int result = file->writer->PutTag(name, length, value);
    if (result != 0) SetLastError(file->writer->LastError());
    return result;
  } catch (const std::exception& e) {
    SetLastError("tav_puttag", e);
  } catch (...) {
    SetLastError("tav_puttag: unexpected failure");
  }
  return -1;
}

// Completes the file and releases the handle.
extern "C" TAV_API int tav_fclose(TavFile* file) {
  if (file == nullptr) {
    SetLastError("tav_fclose: no file");
    return -1;
  }
  int result = -1;
  try {
    result = file->writer->Close();
    if (result != 0) SetLastError(file->writer->LastError());
  } catch (const std::exception& e) {
    SetLastError("tav_fclose", e);
  } catch (...) {
    SetLastError("tav_fclose: unexpected failure");
  }
  delete file;
  return result;
}

// The calling thread's last failure text.
extern "C" TAV_API const char* tav_lasterror(void) { return t_last_error.c_str(); }
