#include "session/RowText.h"

#include <string>

namespace
{

struct CAttributeLabel
{
    DWORD m_dwBit;
    const char* m_pszLabel;
};

// Tested in this order; 0x4000 sits between 0x20 and 0x80, and 0x10000000
// gives two labels.
const CAttributeLabel kAttributeLabels[] = {
    {0x1, "只读-"},    {0x2, "隐藏-"},          {0x4, "系统-"},        {0x10, "文件夹-"},
    {0x20, "归档-"},   {0x4000, "加密-"},       {0x80, "正常-"},       {0x100, "零时-"},
    {0x200, "稀疏-"},  {0x400, "ReSp-"},        {0x800, "压缩-"},      {0x1000, "O-"},
    {0x2000, "受损-"}, {0x10000000, "文件夹-"}, {0x10000000, "索引-"},
};

const char* const kColumnHeadings[eColumnCount] = {"文件名", "#",    "文件属性", "是否删除", "簇",
                                                   "路径",   "大小", "修改时间", "状态"};
const int kColumnWidths[eColumnCount] = {190, 60, 80, 50, 70, 160, 90, 130, 100};

}  // namespace

const char* const kDamagedRecordText = "损坏的记录";

const int kColumnOrder[eColumnCount] = {eColumnNumber, eColumnName, eColumnAttributes,
                                        eColumnDeleted, eColumnClusters, eColumnPath,
                                        eColumnSize, eColumnModified, eColumnState};

const char* ColumnHeading(int nColumn)
{
    return nColumn >= 0 && nColumn < eColumnCount ? kColumnHeadings[nColumn] : "";
}

int ColumnWidth(int nColumn)
{
    return nColumn >= 0 && nColumn < eColumnCount ? kColumnWidths[nColumn] : 0;
}

bool ColumnReadsFromLeft(int nColumn)
{
    return nColumn == eColumnName || nColumn == eColumnPath;
}

bool ColumnReadsFromRight(int nColumn)
{
    return nColumn == eColumnSize;
}

std::string AttributeLabels(DWORD dwFileFlags)
{
    std::string strLabels;
    for (const CAttributeLabel& label : kAttributeLabels)
        if (dwFileFlags & label.m_dwBit)
            strLabels += label.m_pszLabel;
    return strLabels;
}

const char* DeletedMark(BYTE bNotInUse)
{
    return bNotInUse ? "是" : "";
}

std::string ShownRowsText(size_t nShown, size_t nSelected)
{
    return "显示 " + std::to_string(nShown) + " 条，已选 " + std::to_string(nSelected) + " 条";
}
