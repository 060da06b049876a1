#pragma once

/// Comma-field splitter over a NUL-terminated byte line it does not own; lives for one line.
class CParseCsv {
public:
    CParseCsv() = default;

    void SetLine(const char* line);
    /// Copies the next comma-separated field into out (at most size-1 bytes, NUL-terminated);
    /// false, with out empty, only when no line is attached.
    bool GetNextField(char* out, int size);
    /// Copies the rest of the line, commas kept, and detaches the line.
    bool GetRest(char* out, int size);

    const char* m_pszLine = nullptr;
    int m_nIndex = 0;
};

/// The field-to-double rule: skip to the first digit, sign or point, then convert the longest
/// valid decimal prefix (exponent letters e, E, d, D), 0.0 when there is none.
double ParseFieldValue(const char* field);

/// Splits one received or read line into pRow[0..nChannels-1]: field i through ParseFieldValue,
/// 0.0 for channels without a field. Fields are taken 127 characters at most, as the intake does.
/// The line may also end at its first CR or LF instead of a NUL.
void ParseLineToRow(const char* pszLine, int nChannels, double* pRow);
/// The same through CParseCsv field by field: the plain form ParseLineToRow must agree with.
void ParseLineToRowSplit(const char* pszLine, int nChannels, double* pRow);
