<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>bottom_bar</name>
    <message>
        <source>View Mode</source>
        <translation>视图模式</translation>
    </message>
    <message>
        <source>Capture</source>
        <translation>截图</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全屏</translation>
    </message>
</context>
<context>
    <name>feedback</name>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
</context>
<context>
    <name>title_bar</name>
    <message>
        <source>中文</source>
        <translation>English</translation>
    </message>
</context>
<context>
    <name>type_bar</name>
    <message>
        <source>Please choose file type</source>
        <translation>请选择文件类型</translation>
    </message>
</context>
<context>
    <name>vistamo::app</name>
    <message>
        <source>Decoder: none</source>
        <translation>解码器：无</translation>
    </message>
    <message>
        <source>Decoder: %1 (%2)</source>
        <translation>解码器：%1（%2）</translation>
    </message>
    <message>
        <source>hardware</source>
        <translation>硬件</translation>
    </message>
    <message>
        <source>software</source>
        <translation>软件</translation>
    </message>
    <message>
        <source>Source: %1 at %2 fps</source>
        <translation>源：%1，%2 帧/秒</translation>
    </message>
    <message>
        <source>Source: %1</source>
        <translation>源：%1</translation>
    </message>
    <message>
        <source>Colour: %1</source>
        <translation>色彩：%1</translation>
    </message>
    <message>
        <source>Frames: decoded %1, shown %2, dropped %3 of %4</source>
        <translation>帧：已解码 %1，已显示 %2，已丢弃 %3，共 %4</translation>
    </message>
    <message>
        <source>View: %1 paints/s, %2 new frames/s</source>
        <translation>视图：每秒绘制 %1 次，每秒新帧 %2</translation>
    </message>
</context>
<context>
    <name>vistamo::app::BottomBar</name>
    <message>
        <source>Equirectangular</source>
        <translation>全景展开</translation>
    </message>
    <message>
        <source>Fisheye</source>
        <translation>鱼眼</translation>
    </message>
    <message>
        <source>Little planet</source>
        <translation>小行星</translation>
    </message>
    <message>
        <source>Show source</source>
        <translation>原始画面</translation>
    </message>
    <message>
        <source>Match lenses</source>
        <translation>匹配镜头</translation>
    </message>
    <message>
        <source>Match the exposure and colour of the two lenses at the seams (L)</source>
        <translation>在拼接缝处匹配两个镜头的曝光和颜色（L）</translation>
    </message>
</context>
<context>
    <name>vistamo::app::ExportController</name>
    <message>
        <source>is exporting</source>
        <translation>正在导出</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Export failed!</source>
        <translation>导出失败！</translation>
    </message>
</context>
<context>
    <name>vistamo::app::FileOpener</name>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>无法打开 %1：%2</translation>
    </message>
    <message>
        <source>File format not supported!</source>
        <translation>不支持的文件格式！</translation>
    </message>
    <message>
        <source>%1 cannot be stitched: %2. It is shown as it was recorded.</source>
        <translation>%1 无法拼接：%2。将按原始画面显示。</translation>
    </message>
</context>
<context>
    <name>vistamo::app::MainWindow</name>
    <message>
        <source>Media type…</source>
        <translation>媒体类型…</translation>
    </message>
    <message>
        <source>Please drop your file</source>
        <translation>请拖入文件</translation>
    </message>
    <message>
        <source>Please select the folder to save the result</source>
        <translation>请选择保存结果的位置</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>The opengl version supported by your graphics card is too low, Vistamo Player cannot work normally. Please update your graphics card driver.</source>
        <translation>您的显卡支持的 OpenGL 版本过低，Vistamo Player 无法正常工作。请更新显卡驱动。</translation>
    </message>
    <message>
        <source>Export failed!</source>
        <translation>导出失败！</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Please restart Vistamo Player before the language change can take effect.</source>
        <translation>请重新启动 Vistamo Player 以使语言更改生效。</translation>
    </message>
    <message>
        <source>The language setting cannot be saved in %1. Please check that you have the required access rights.</source>
        <translation>无法将语言设置保存到 %1。请检查您是否具有所需的访问权限。</translation>
    </message>
    <message>
        <source>Save failed!</source>
        <translation>保存失败！</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Exporting now, closing Vistamo Player will stop the export.</source>
        <translation>正在导出，关闭 Vistamo Player 将停止导出。</translation>
    </message>
    <message>
        <source>Cannot add %1</source>
        <translation>无法添加 %1</translation>
    </message>
    <message numerus="yes">
        <source>Cannot add %1, and %n more file(s).</source>
        <translation>
            <numerusform>无法添加 %1，另有 %n 个文件也无法添加。</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vistamo::app::PlaybackController</name>
    <message>
        <source>No picture could be shown from this file.</source>
        <translation>无法显示此文件的画面。</translation>
    </message>
</context>
<context>
    <name>vistamo::app::UpdateChecker</name>
    <message>
        <source>A software update is available. Proceed to download the update?</source>
        <translation>有新版本可用。是否下载更新？</translation>
    </message>
</context>
<context>
    <name>vistamo::exporting::BatchExportDialog</name>
    <message>
        <source>Please select the folder to save the results</source>
        <translation>请选择保存结果的文件夹</translation>
    </message>
    <message>
        <source>Export selected files</source>
        <translation>导出所选文件</translation>
    </message>
    <message>
        <source>1 file selected</source>
        <translation>已选择 1 个文件</translation>
    </message>
    <message>
        <source>%1 files selected</source>
        <translation>已选择 %1 个文件</translation>
    </message>
    <message>
        <source>Beside each file</source>
        <translation>与各文件相同的位置</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>By width</source>
        <translation>按宽度</translation>
    </message>
    <message>
        <source>H.264 up to %1 pixels wide, H.265 above: many phones and graphics cards cannot play H.264 wider.</source>
        <translation>宽度不超过 %1 像素时使用 H.264，超过时使用 H.265：许多手机和显卡无法播放更宽的 H.264。</translation>
    </message>
    <message>
        <source>The source&apos;s width</source>
        <translation>源文件的宽度</translation>
    </message>
    <message>
        <source>Width</source>
        <translation>宽度</translation>
    </message>
    <message>
        <source>Replace existing panoramas</source>
        <translation>替换已有的全景</translation>
    </message>
    <message>
        <source>Files</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>文件夹</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Bitrate</source>
        <translation>码率</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>尺寸</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation>%1 不是文件夹。</translation>
    </message>
    <message>
        <source>The width must be even.</source>
        <translation>宽度必须是偶数。</translation>
    </message>
    <message>
        <source>Exporting %1 (%2 of %3)</source>
        <translation>正在导出 %1（第 %2 个，共 %3 个）</translation>
    </message>
    <message>
        <source>skipped, %1</source>
        <translation>已跳过，%1</translation>
    </message>
    <message>
        <source>Preparing…</source>
        <translation>正在准备…</translation>
    </message>
    <message>
        <source>Files left: %1</source>
        <translation>剩余文件：%1</translation>
    </message>
    <message>
        <source>Stopped between two files</source>
        <translation>在两个文件之间停止</translation>
    </message>
    <message>
        <source>Stopped during %1</source>
        <translation>在导出 %1 时停止</translation>
    </message>
    <message>
        <source>Export cancelled</source>
        <translation>导出已取消</translation>
    </message>
    <message>
        <source>Export finished</source>
        <translation>导出完成</translation>
    </message>
    <message>
        <source>Not exported: %1</source>
        <translation>未导出：%1</translation>
    </message>
    <message>
        <source>%1 exported, %2 failed, %3 skipped</source>
        <translation>%1 个已导出，%2 个失败，%3 个已跳过</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>vistamo::exporting::ExportDialog</name>
    <message>
        <source>Wider than %1 pixels: H.265 is proposed, because many phones and graphics cards cannot play H.264 this wide.</source>
        <translation>宽度超过 %1 像素：建议使用 H.265，因为许多手机和显卡无法播放这么宽的 H.264。</translation>
    </message>
    <message>
        <source>Please select the folder to save the result</source>
        <translation>请选择保存结果的位置</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>导出</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>Bitrate</source>
        <translation>码率</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>格式</translation>
    </message>
    <message>
        <source>Resolution</source>
        <translation>分辨率</translation>
    </message>
    <message>
        <source>Exp Path</source>
        <translation>导出路径</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>The save path is empty, exporting aborted!</source>
        <translation>保存路径为空，已取消导出！</translation>
    </message>
    <message>
        <source>Hide</source>
        <translation>隐藏</translation>
    </message>
    <message>
        <source>is exporting</source>
        <translation>正在导出</translation>
    </message>
    <message>
        <source>no file is open</source>
        <translation>没有打开的文件</translation>
    </message>
    <message>
        <source>has been exported successfully! Please check</source>
        <translation>已成功导出！请查看</translation>
    </message>
</context>
<context>
    <name>vistamo::exporting::ExportJob</name>
    <message>
        <source>the converter cannot be started: </source>
        <translation>无法启动转换程序：</translation>
    </message>
    <message>
        <source>the converter stopped reporting progress</source>
        <translation>转换程序停止报告进度</translation>
    </message>
    <message>
        <source>the converter is missing: </source>
        <translation>找不到转换程序：</translation>
    </message>
    <message>
        <source>the converter stopped unexpectedly</source>
        <translation>转换程序意外停止</translation>
    </message>
    <message>
        <source>the converter failed</source>
        <translation>转换失败</translation>
    </message>
    <message>
        <source>the converter wrote nothing</source>
        <translation>转换程序没有生成文件</translation>
    </message>
    <message>
        <source>the panorama metadata cannot be written: </source>
        <translation>无法写入全景元数据：</translation>
    </message>
    <message>
        <source>the panorama metadata cannot be written</source>
        <translation>无法写入全景元数据</translation>
    </message>
</context>
<context>
    <name>vistamo::playlist::PlayList</name>
    <message>
        <source>Failed to create play list file. Please check that you have the required access rights.</source>
        <translation>无法创建播放列表文件。请检查您是否具有所需的访问权限。</translation>
    </message>
    <message>
        <source>Failed to open play list file. Please check that you have the required access rights.</source>
        <translation>无法打开播放列表文件。请检查您是否具有所需的访问权限。</translation>
    </message>
    <message>
        <source>This file does not exist any more, it will be removed from the play list.</source>
        <translation>此文件已不存在，将从播放列表中移除。</translation>
    </message>
    <message>
        <source>The play list %1 could not be read. It was kept as %2, and a new, empty play list was started.</source>
        <translation>无法读取播放列表 %1。它已保存为 %2，并已新建一个空的播放列表。</translation>
    </message>
    <message>
        <source>Cannot open %1: %2. It will be removed from the play list.</source>
        <translation>无法打开 %1：%2。它将从播放列表中移除。</translation>
    </message>
    <message>
        <source>Export selected…</source>
        <translation>导出所选…</translation>
    </message>
    <message>
        <source>Stitch the selected files into panoramas, one after another</source>
        <translation>将所选文件依次拼接为全景</translation>
    </message>
    <message>
        <source>Remove from the list</source>
        <translation>从列表中移除</translation>
    </message>
</context>
<context>
    <name>vistamo::ui::About</name>
    <message>
        <source>Vistamo is free software. It comes with no warranty; it reads and writes your files only where you tell it to.</source>
        <translation>Vistamo 是自由软件，不提供任何担保；它只在您指定的位置读写您的文件。</translation>
    </message>
</context>
<context>
    <name>vistamo::ui::TitleBar</name>
    <message>
        <source>Help</source>
        <translation>帮助</translation>
    </message>
    <message>
        <source>About</source>
        <translation>关于</translation>
    </message>
</context>
<context>
    <name>vistamo::ui::TypeBar</name>
    <message>
        <source>Please choose file type</source>
        <translation>请选择文件类型</translation>
    </message>
</context>
</TS>
