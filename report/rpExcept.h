#pragma once
// The report library's errors: one family under ETessaryError, so that a
// host catches every report error with one handler and tells the kinds apart
// by class. Messages name the routine first, "TClass.Method: text", with
// any placeholders filled before raising; they are fixed English texts, not
// language texts.
#include "platform/rtl/SysUtils.h"

FAT_DECLARE_EXCEPTION(ETessaryError, Exception)
// Generation and printing: engine, band engines, page cache, printer.
FAT_DECLARE_EXCEPTION(EPrintError, ETessaryError)
// Data pipelines and data links.
FAT_DECLARE_EXCEPTION(EDataError, ETessaryError)
// Layout of a component (automatic sizing).
FAT_DECLARE_EXCEPTION(EDesignError, ETessaryError)
FAT_DECLARE_EXCEPTION(EInvalidPropertyError, ETessaryError)
FAT_DECLARE_EXCEPTION(ETemplateLoadError, ETessaryError)
FAT_DECLARE_EXCEPTION(ETemplateSaveError, ETessaryError)
// A stream or file that is no report template.
FAT_DECLARE_EXCEPTION(EInvalidTemplateError, ETessaryError)
FAT_DECLARE_EXCEPTION(EOutlineError, ETessaryError)
FAT_DECLARE_EXCEPTION(EBackgroundPrintError, ETessaryError)
// The background worker gave up waiting.
FAT_DECLARE_EXCEPTION(EBackgroundPrintTimeoutError, EBackgroundPrintError)
FAT_DECLARE_EXCEPTION(EParameterError, ETessaryError)
FAT_DECLARE_EXCEPTION(EEmailError, ETessaryError)
// Text search in the preview.
FAT_DECLARE_EXCEPTION(ESearchError, ETessaryError)
FAT_DECLARE_EXCEPTION(ESearchPreviewError, ESearchError)
FAT_DECLARE_EXCEPTION(ESearchEngineError, ESearchError)
FAT_DECLARE_EXCEPTION(ESearchHighlightError, ESearchError)
FAT_DECLARE_EXCEPTION(ERichTextHighlightError, ESearchError)
FAT_DECLARE_EXCEPTION(E2DBarcodeError, ETessaryError)
