<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>kv::app::AddNotices</name>
    <message>
        <source>未能加载以下编解码库，无法添加和转换视频：
</source>
        <translation>These codec libraries could not be loaded, so videos cannot be added or converted:
</translation>
    </message>
    <message>
        <source>  %1（%2）
</source>
        <translation>  %1 (%2)
</translation>
    </message>
    <message>
        <source>请安装软件包：%1
（例如：sudo apt install %1）
</source>
        <translation>Please install the packages: %1
(for example: sudo apt install %1)
</translation>
    </message>
    <message>
        <source>程序先使用 %1 中的库文件，请检查其中的文件。
</source>
        <translation>The program uses the libraries in %1 first; please check the files there.
</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>  ……另有 %1 个文件
</source>
        <translation>  …and %1 more
</translation>
    </message>
    <message>
        <source>以下文件未能添加：
</source>
        <translation>These files could not be added:
</translation>
    </message>
    <message>
        <source>不是可以转换的类型（可以添加 %1）：</source>
        <translation>Not a type that can be converted (you can add %1):</translation>
    </message>
    <message>
        <source>文件不存在：</source>
        <translation>The file does not exist:</translation>
    </message>
    <message>
        <source>无法读取（文件已损坏或不是视频文件）：</source>
        <translation>Cannot be read (the file is damaged or not a video):</translation>
    </message>
    <message>
        <source>正在转换，请在转换结束后再添加文件。</source>
        <translation>Converting. Please add files when the conversion has finished.</translation>
    </message>
</context>
<context>
    <name>kv::app::AnalysisTab</name>
    <message>
        <source>无法分析视频文件 %1 ！</source>
        <translation>Cannot analyse the video %1!</translation>
    </message>
    <message>
        <source>您选择的视频格式为 .%1</source>
        <translation>The video you chose is a .%1 file</translation>
    </message>
</context>
<context>
    <name>kv::app::BatchDriver</name>
    <message>
        <source>请选择视频要转换的类型！</source>
        <translation>Please choose the type to convert the videos to!</translation>
    </message>
    <message>
        <source>请输入视频尺寸！</source>
        <translation>Please enter the video size!</translation>
    </message>
    <message>
        <source>请输入视频比特率！</source>
        <translation>Please enter the video bitrate!</translation>
    </message>
    <message>
        <source>请输入视频帧速率！</source>
        <translation>Please enter the video frame rate!</translation>
    </message>
    <message>
        <source>转换结束：%1 个视频转换成功，%2 个失败，%3 个已停止。</source>
        <translation>Conversion finished: %1 converted, %2 failed, %3 stopped.</translation>
    </message>
    <message>
        <source>

转换失败的视频：
</source>
        <translation>

Videos that failed:
</translation>
    </message>
    <message>
        <source>无法自动关机！</source>
        <translation>Cannot power off automatically!</translation>
    </message>
    <message>
        <source>请选择视频！</source>
        <translation>Please add videos first!</translation>
    </message>
    <message>
        <source>视频成功转换！</source>
        <translation>Videos converted successfully!</translation>
    </message>
    <message>
        <source>没有一个视频可以转换！</source>
        <translation>None of the videos can be converted!</translation>
    </message>
</context>
<context>
    <name>kv::app::ProfileChoices</name>
    <message>
        <source>3GP  (适合手机播放)</source>
        <translation>3GP  (for mobile phones)</translation>
    </message>
    <message>
        <source>MP4  (适合手机,MP4播放器,PSP等)</source>
        <translation>MP4  (phones, MP4 players, PSP and more)</translation>
    </message>
    <message>
        <source>AVI (适合电脑和部分手机 MP4播放器)</source>
        <translation>AVI (computers, some phones and MP4 players)</translation>
    </message>
    <message>
        <source>MPEG  (VCD、DVD播放机)</source>
        <translation>MPEG  (VCD and DVD players)</translation>
    </message>
    <message>
        <source>WMV (适合电脑部分MP4播放器播放)</source>
        <translation>WMV (computers, some MP4 players)</translation>
    </message>
    <message>
        <source>RM  (适合电脑播放)</source>
        <translation>RM  (for computers)</translation>
    </message>
    <message>
        <source>MOV  (适合电脑播放)</source>
        <translation>MOV  (for computers)</translation>
    </message>
    <message>
        <source>MKV  (适合电脑播放)</source>
        <translation>MKV  (for computers)</translation>
    </message>
    <message>
        <source>FLV  (适合电脑播放)</source>
        <translation>FLV  (for computers)</translation>
    </message>
    <message>
        <source>MP4-H264  (现代手机、平板、电视)</source>
        <translation>MP4-H264  (modern phones, tablets, TVs)</translation>
    </message>
    <message>
        <source>MKV-WEBM  (H.265, VP9, AV1 高效编码)</source>
        <translation>MKV-WEBM  (H.265, VP9, AV1 efficient codecs)</translation>
    </message>
</context>
<context>
    <name>kv::app::ProfileLabels</name>
    <message>
        <source>视频像素：%1X%2</source>
        <translation>Frame size: %1X%2</translation>
    </message>
    <message>
        <source>视频编码：%1</source>
        <translation>Video codec: %1</translation>
    </message>
    <message>
        <source>视频码率：%1</source>
        <translation>Video bitrate: %1</translation>
    </message>
    <message>
        <source>桢速率：%1</source>
        <translation>Frame rate: %1</translation>
    </message>
    <message>
        <source>帧速率：%1</source>
        <translation>Frame rate: %1</translation>
    </message>
    <message>
        <source>同原视频 (最高60)</source>
        <translation>as the source (up to 60)</translation>
    </message>
    <message>
        <source>音频编码：%1</source>
        <translation>Audio codec: %1</translation>
    </message>
</context>
<context>
    <name>kv::app::Settings</name>
    <message>
        <source>未能创建 %1 目录！</source>
        <translation>Cannot create the folder %1!</translation>
    </message>
</context>
<context>
    <name>kv::app::TAboutDialog</name>
    <message>
        <source>关于系统</source>
        <translation>About</translation>
    </message>
    <message>
        <source>视频格式批量转换工具&lt;br&gt;适合手机、MP4播放器、PSP和电脑播放&lt;br&gt;版本 1.3&lt;br&gt;官方网站：&lt;a href=&quot;%1&quot;&gt;%1&lt;/a&gt;</source>
        <translation>Batch video converter&lt;br&gt;for phones, MP4 players, PSP and computers&lt;br&gt;Version 1.3&lt;br&gt;Web site: &lt;a href=&quot;%1&quot;&gt;%1&lt;/a&gt;</translation>
    </message>
    <message>
        <source>欢迎访问我们的网站，获取新版本和使用帮助</source>
        <translation>Visit our web site for new versions and help</translation>
    </message>
    <message>
        <source>退 出</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>kv::app::TBatchController</name>
    <message>
        <source>请先选择一个视频文件进行删除！</source>
        <translation>Please select the video to delete first!</translation>
    </message>
    <message>
        <source>转换正在进行，确定要退出吗？</source>
        <translation>A conversion is running. Quit anyway?</translation>
    </message>
</context>
<context>
    <name>kv::app::TDBusSleepInhibitor</name>
    <message>
        <source>正在转换视频</source>
        <translation>Converting videos</translation>
    </message>
</context>
<context>
    <name>kv::app::TLanguageSwitch</name>
    <message>
        <source>未能写入 %1 文件！</source>
        <translation>Cannot write the file %1!</translation>
    </message>
</context>
<context>
    <name>kv::app::TMainWindow</name>
    <message>
        <source>同时转换</source>
        <translation>At once</translation>
    </message>
    <message>
        <source>同时转换的视频个数</source>
        <translation>How many videos to convert at once</translation>
    </message>
    <message>
        <source>自动</source>
        <translation>Auto</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>换皮肤</source>
        <translation>Skin</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>分辨率</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>时长</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>进度</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>添加待转视频文件</source>
        <translation>Add videos to convert</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Drop</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>文件类型:</source>
        <translation>File type:</translation>
    </message>
    <message>
        <source>选择文件类型方案</source>
        <translation>Choose the file type</translation>
    </message>
    <message>
        <source>预置方案:</source>
        <translation>Preset:</translation>
    </message>
    <message>
        <source>选择预置方案</source>
        <translation>Choose a preset</translation>
    </message>
    <message>
        <source>设备品牌:</source>
        <translation>Brand:</translation>
    </message>
    <message>
        <source>选择设备类型</source>
        <translation>Choose the device brand</translation>
    </message>
    <message>
        <source>设备型号:</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>视频像素：</source>
        <translation>Frame size:</translation>
    </message>
    <message>
        <source>视频编码：</source>
        <translation>Video codec:</translation>
    </message>
    <message>
        <source>音频编码：</source>
        <translation>Audio codec:</translation>
    </message>
    <message>
        <source>视频码率：</source>
        <translation>Video bitrate:</translation>
    </message>
    <message>
        <source>帧速率：</source>
        <translation>Frame rate:</translation>
    </message>
    <message>
        <source>       比如您不知该生成什么样的视频格式给自己的手机用，但手机里已经有一些可以播放的视频文件，OK,本软件可以提取并分析这些文件为您自动生成合适的方案。</source>
        <translation>Not sure which format your phone plays? Pick a video it already plays: the program analyses it and makes a matching preset for you.</translation>
    </message>
    <message>
        <source>分析视频文件</source>
        <translation>Analyse</translation>
    </message>
    <message>
        <source>自定义</source>
        <translation>Customise</translation>
    </message>
    <message>
        <source>视频类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>选择转换视频类型方案</source>
        <translation>Choose the type to convert to</translation>
    </message>
    <message>
        <source>视频尺寸</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>视频比特率</source>
        <translation>Bitrate</translation>
    </message>
    <message>
        <source>帧速率</source>
        <translation>Frame rate</translation>
    </message>
    <message>
        <source>输出设置：</source>
        <translation>Output settings:</translation>
    </message>
    <message>
        <source>按预置方案</source>
        <translation>Preset</translation>
    </message>
    <message>
        <source>按设备类型</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>按已有视频</source>
        <translation>Like a video</translation>
    </message>
    <message>
        <source>自己定义</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>输出目录：</source>
        <translation>Save to:</translation>
    </message>
    <message>
        <source>视频输出目录</source>
        <translation>The folder the converted videos go to</translation>
    </message>
    <message>
        <source>另外指定输出目录</source>
        <translation>Choose another output folder</translation>
    </message>
    <message>
        <source>打开目录</source>
        <translation>Open the folder</translation>
    </message>
    <message>
        <source>视频预览窗口</source>
        <translation>Preview</translation>
    </message>
    <message>
        <source>起始位置</source>
        <translation>Set start</translation>
    </message>
    <message>
        <source>结束位置</source>
        <translation>Set end</translation>
    </message>
    <message>
        <source>是否裁剪</source>
        <translation>Cut the clip</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>继续</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>转换完成自动关机</source>
        <translation>Power off at the end</translation>
    </message>
    <message>
        <source>视频预览</source>
        <translation>Preview</translation>
    </message>
</context>
<context>
    <name>kv::app::TQtPorts</name>
    <message>
        <source>没有关机命令</source>
        <translation>No power-off command</translation>
    </message>
    <message>
        <source>无法运行 %1：%2</source>
        <translation>Cannot run %1: %2</translation>
    </message>
    <message>
        <source>%1 没有结束：%2</source>
        <translation>%1 did not finish: %2</translation>
    </message>
    <message>
        <source>%1 异常退出</source>
        <translation>%1 ended abnormally</translation>
    </message>
    <message>
        <source>%1 失败（退出码 %2）</source>
        <translation>%1 failed (exit code %2)</translation>
    </message>
    <message>
        <source>%1 秒后关机</source>
        <translation>Powering off in %1 seconds</translation>
    </message>
    <message>
        <source>立即关机</source>
        <translation>Power off now</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kv::app::TimeLeft</name>
    <message>
        <source>剩余 %1</source>
        <translation>%1 left</translation>
    </message>
</context>
<context>
    <name>kv::app::WindowLogic</name>
    <message>
        <source>选择一个目录</source>
        <translation>Choose a folder</translation>
    </message>
    <message>
        <source>未能写入 %1 文件！</source>
        <translation>Cannot write the file %1!</translation>
    </message>
    <message>
        <source>请设定对应视频参数！</source>
        <translation>Please set the video parameters!</translation>
    </message>
</context>
<context>
    <name>kv::presets::TOutputResolver</name>
    <message>
        <source>请设定对应视频参数！</source>
        <translation>Please set the video parameters!</translation>
    </message>
    <message>
        <source>请设定输入视频尺寸！</source>
        <translation>Please enter the video size!</translation>
    </message>
    <message>
        <source>请输入视频比特率！</source>
        <translation>Please enter the video bitrate!</translation>
    </message>
    <message>
        <source>请输入帧速率！</source>
        <translation>Please enter the frame rate!</translation>
    </message>
</context>
</TS>
