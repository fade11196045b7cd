<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CAlarmMotionConfig</name>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="12"/>
        <source>Set MotionDetect Config</source>
        <translation>设置移动侦测配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="19"/>
        <source>Enable</source>
        <translation>启用</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="26"/>
        <source>Phone Report</source>
        <translation>手机报警</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="33"/>
        <source>Alarm Sound</source>
        <translation>报警声音</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="40"/>
        <source>SoundPlayType</source>
        <translation>声音类型</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="50"/>
        <source>Alarm interval</source>
        <translation>报警间隔</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="60"/>
        <source>Second</source>
        <translation>秒</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="67"/>
        <source>HumanoidDetect</source>
        <translation>人形检测</translation>
    </message>
    <message>
        <location filename="../../src/config/CAlarmMotionConfig.ui" line="74"/>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
</context>
<context>
    <name>CCameraConfig</name>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="12"/>
        <source>Set Camera Config</source>
        <translation>设置摄像机参数</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="19"/>
        <source>Scene Mode</source>
        <translation>场景模式</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="29"/>
        <source>Day/Night Mode</source>
        <translation>日夜模式</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="39"/>
        <source>Day NT Level</source>
        <translation>白天降噪等级</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="49"/>
        <source>Night NT Level</source>
        <translation>夜晚降噪等级</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="59"/>
        <source>DNC Threshold</source>
        <translation>日夜转换阈值</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="76"/>
        <source>Dayandnightadjustment</source>
        <translation>日夜调节</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="93"/>
        <source>Auto Iris</source>
        <translation>自动光圈</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="100"/>
        <source>Backlight</source>
        <translation>背光补偿</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="107"/>
        <source>Mirror</source>
        <translation>镜像</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="114"/>
        <source>Flip</source>
        <translation>翻转</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="121"/>
        <source>Anti flashing</source>
        <translation>防闪烁</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="128"/>
        <source>IR Swap</source>
        <translation>红外交换</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.ui" line="135"/>
        <source>NoRedFaceExposure</source>
        <translation>防红脸曝光</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="11"/>
        <source>Star IR</source>
        <translation>星光红外</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="11"/>
        <source>Full Color</source>
        <translation>全彩</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="12"/>
        <source>BlackAndWhiteMode</source>
        <translation>黑白模式</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="12"/>
        <source>IntellMotionDetect</source>
        <translation>智能移动侦测</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="13"/>
        <source>WarmLight</source>
        <translation>暖光</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="13"/>
        <source>IntelligentInfrared</source>
        <translation>智能红外</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="14"/>
        <source>LicensePlateMode</source>
        <translation>车牌模式</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="35"/>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="35"/>
        <source>Indoor</source>
        <translation>室内</translation>
    </message>
    <message>
        <location filename="../../src/config/CCameraConfig.cpp" line="35"/>
        <source>Outdoor</source>
        <translation>室外</translation>
    </message>
</context>
<context>
    <name>CDialogTitle</name>
    <message>
        <location filename="../../src/widgets/CDialogTitle.cpp" line="42"/>
        <source>Max</source>
        <translation>最大化</translation>
    </message>
    <message>
        <location filename="../../src/widgets/CDialogTitle.cpp" line="51"/>
        <source>Normal</source>
        <translation>还原</translation>
    </message>
</context>
<context>
    <name>CEncodeConfig</name>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="12"/>
        <source>Set Encode Config</source>
        <translation>设置编码配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="19"/>
        <source>Main Stream</source>
        <translation>主码流</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="26"/>
        <source>Extra Stream</source>
        <translation>辅码流</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="33"/>
        <source>Compression</source>
        <translation>编码格式</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="46"/>
        <source>Resolution</source>
        <translation>分辨率</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="59"/>
        <source>FPS</source>
        <translation>帧率</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="72"/>
        <source>Stream Control</source>
        <translation>码流控制</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="85"/>
        <source>Quality</source>
        <translation>画质</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="98"/>
        <source>BitRate(Kb/s)</source>
        <translation>码率(Kb/s)</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="111"/>
        <source>I Frame Interval</source>
        <translation>I帧间隔</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="124"/>
        <source>Smart Encode</source>
        <translation>智能编码</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="137"/>
        <source>Video/Audio</source>
        <translation>视频/音频</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.ui" line="164"/>
        <source>Static Encode Config</source>
        <translation>编码档次</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="16"/>
        <source>DIVX MPEG4</source>
        <translation>DIVX MPEG4</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="16"/>
        <source>MS MPEG4</source>
        <translation>MS MPEG4</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="17"/>
        <source>MPEG2</source>
        <translation>MPEG2</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="17"/>
        <source>MPEG1</source>
        <translation>MPEG1</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="18"/>
        <source>H.263</source>
        <translation>H.263</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="18"/>
        <source>MJPG</source>
        <translation>MJPG</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="19"/>
        <source>FCC MPEG4</source>
        <translation>FCC MPEG4</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="19"/>
        <source>H.264</source>
        <translation>H.264</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="20"/>
        <source>H.265</source>
        <translation>H.265</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="22"/>
        <source>Worst</source>
        <translation>最差</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="22"/>
        <source>Worse</source>
        <translation>较差</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="23"/>
        <source>General</source>
        <translation>一般</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="23"/>
        <source>Good</source>
        <translation>好</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="24"/>
        <source>Better</source>
        <translation>较好</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="24"/>
        <source>Best</source>
        <translation>最好</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="26"/>
        <source>baseline</source>
        <translation>基本档次</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="27"/>
        <source>main profile</source>
        <translation>主档次</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="28"/>
        <source>high profile</source>
        <translation>高档次</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="67"/>
        <source>CBR</source>
        <translation>定码率</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="67"/>
        <source>VBR</source>
        <translation>变码率</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="223"/>
        <source>H.265X</source>
        <translation>H.265X</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="275"/>
        <location filename="../../src/config/CEncodeConfig.cpp" line="298"/>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="277"/>
        <location filename="../../src/config/CEncodeConfig.cpp" line="299"/>
        <source>H265+</source>
        <translation>H265+</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="278"/>
        <source>H265AI</source>
        <translation>H265AI</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="278"/>
        <source>H265++</source>
        <translation>H265++</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="280"/>
        <location filename="../../src/config/CEncodeConfig.cpp" line="283"/>
        <source>H265x</source>
        <translation>H265x</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="282"/>
        <location filename="../../src/config/CEncodeConfig.cpp" line="299"/>
        <source>H264+</source>
        <translation>H264+</translation>
    </message>
    <message>
        <location filename="../../src/config/CEncodeConfig.cpp" line="299"/>
        <source>H265X</source>
        <translation>H265X</translation>
    </message>
</context>
<context>
    <name>CIpSetDlg</name>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="14"/>
        <source>CIpSetDlg</source>
        <translation>IP设置</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="20"/>
        <source>IP</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="43"/>
        <source>Sub mask</source>
        <translation>子网掩码</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="66"/>
        <source>Gateway</source>
        <translation>网关</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="89"/>
        <source>ModifyIpStart</source>
        <translation>从起始IP依次修改</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="99"/>
        <source>ModifySameIp</source>
        <translation>修改为相同IP</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="113"/>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="161"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.ui" line="120"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="115"/>
        <source>No running network interface with an IPv4 address: no address is proposed.</source>
        <translation>没有带IPv4地址的运行中网卡：不提供建议地址。</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="124"/>
        <source>Looking for a free address...</source>
        <translation>正在查找空闲地址...</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="147"/>
        <source>Every address of this subnet is in use: no free address is proposed.</source>
        <translation>该网段的所有地址均已被占用：没有可建议的空闲地址。</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="161"/>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpSetDlg.cpp" line="161"/>
        <source>Set Subnet Mask Failed</source>
        <translation>设置子网掩码失败</translation>
    </message>
</context>
<context>
    <name>CNetAppConfig</name>
    <message>
        <location filename="../../src/config/CNetAppConfig.ui" line="12"/>
        <source>Set PMS Config</source>
        <translation>设置推送服务配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetAppConfig.ui" line="19"/>
        <source>Enable</source>
        <translation>启用</translation>
    </message>
</context>
<context>
    <name>CNetCloudConfig</name>
    <message>
        <location filename="../../src/config/CNetCloudConfig.ui" line="12"/>
        <source>Set Cloud Config</source>
        <translation>设置云服务配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetCloudConfig.ui" line="19"/>
        <source>Enable</source>
        <translation>启用</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetCloudConfig.ui" line="26"/>
        <source>MTU Value</source>
        <translation>MTU值</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetCloudConfig.ui" line="36"/>
        <source>Bytes</source>
        <translation>字节</translation>
    </message>
</context>
<context>
    <name>CNetNTPConfig</name>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="12"/>
        <source>Set Ntp Config</source>
        <translation>设置NTP配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="19"/>
        <source>Enable</source>
        <translation>启用</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="26"/>
        <source>Custom</source>
        <translation>自定义</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="33"/>
        <source>Auto Select Server</source>
        <translation>自动选择服务器</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="40"/>
        <source>Address</source>
        <translation>地址</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="57"/>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="67"/>
        <source>Time Zone</source>
        <translation>时区</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="77"/>
        <source>Update Interval</source>
        <translation>更新周期</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.ui" line="87"/>
        <source>Min</source>
        <translation>分钟</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="15"/>
        <source>GMT+00:00</source>
        <translation>GMT+00:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="15"/>
        <source>GMT+01:00</source>
        <translation>GMT+01:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="16"/>
        <source>GMT+02:00</source>
        <translation>GMT+02:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="16"/>
        <source>GMT+03:00</source>
        <translation>GMT+03:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="17"/>
        <source>GMT+03:30</source>
        <translation>GMT+03:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="17"/>
        <source>GMT+04:00</source>
        <translation>GMT+04:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="18"/>
        <source>GMT+04:30</source>
        <translation>GMT+04:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="18"/>
        <source>GMT+05:00</source>
        <translation>GMT+05:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="19"/>
        <source>GMT+05:30</source>
        <translation>GMT+05:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="19"/>
        <source>GMT+05:45</source>
        <translation>GMT+05:45</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="20"/>
        <source>GMT+06:00</source>
        <translation>GMT+06:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="20"/>
        <source>GMT+06:30</source>
        <translation>GMT+06:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="21"/>
        <source>GMT+07:00</source>
        <translation>GMT+07:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="21"/>
        <source>GMT+08:00</source>
        <translation>GMT+08:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="22"/>
        <source>GMT+09:00</source>
        <translation>GMT+09:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="22"/>
        <source>GMT+09:30</source>
        <translation>GMT+09:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="23"/>
        <source>GMT+10:00</source>
        <translation>GMT+10:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="23"/>
        <source>GMT+11:00</source>
        <translation>GMT+11:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="24"/>
        <source>GMT+12:00</source>
        <translation>GMT+12:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="24"/>
        <source>GMT+13:00</source>
        <translation>GMT+13:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="25"/>
        <source>GMT-01:00</source>
        <translation>GMT-01:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="25"/>
        <source>GMT-02:00</source>
        <translation>GMT-02:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="26"/>
        <source>GMT-03:00</source>
        <translation>GMT-03:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="26"/>
        <source>GMT-03:30</source>
        <translation>GMT-03:30</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="27"/>
        <source>GMT-04:00</source>
        <translation>GMT-04:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="27"/>
        <source>GMT-05:00</source>
        <translation>GMT-05:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="28"/>
        <source>GMT-06:00</source>
        <translation>GMT-06:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="28"/>
        <source>GMT-07:00</source>
        <translation>GMT-07:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="29"/>
        <source>GMT-08:00</source>
        <translation>GMT-08:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="29"/>
        <source>GMT-09:00</source>
        <translation>GMT-09:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="30"/>
        <source>GMT-10:00</source>
        <translation>GMT-10:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="30"/>
        <source>GMT-11:00</source>
        <translation>GMT-11:00</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetNTPConfig.cpp" line="31"/>
        <source>GMT-12:00</source>
        <translation>GMT-12:00</translation>
    </message>
</context>
<context>
    <name>CNetTcpConfig</name>
    <message>
        <location filename="../../src/config/CNetTcpConfig.ui" line="12"/>
        <source>Set Net Config</source>
        <translation>设置网络配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetTcpConfig.ui" line="19"/>
        <source>IP Adaptive</source>
        <translation>IP自适应</translation>
    </message>
    <message>
        <location filename="../../src/config/CNetTcpConfig.ui" line="26"/>
        <source>DHCP</source>
        <translation>DHCP</translation>
    </message>
</context>
<context>
    <name>CNormalConfig</name>
    <message>
        <location filename="../../src/config/CNormalConfig.ui" line="12"/>
        <source>Set Normal Config</source>
        <translation>设置常规配置</translation>
    </message>
    <message>
        <location filename="../../src/config/CNormalConfig.ui" line="19"/>
        <source>Video Standard</source>
        <translation>视频制式</translation>
    </message>
    <message>
        <location filename="../../src/config/CNormalConfig.cpp" line="33"/>
        <source>PAL</source>
        <translation>PAL</translation>
    </message>
    <message>
        <location filename="../../src/config/CNormalConfig.cpp" line="34"/>
        <source>NTSC</source>
        <translation>NTSC</translation>
    </message>
</context>
<context>
    <name>COtherConfigDlg</name>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="34"/>
        <source>Network Config</source>
        <translation>网络配置</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="35"/>
        <source>Ntp</source>
        <translation>NTP</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="36"/>
        <source>NetCloud</source>
        <translation>云服务</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="37"/>
        <source>NetPMS</source>
        <translation>推送服务</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="38"/>
        <source>NetTcp</source>
        <translation>网络</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="39"/>
        <source>System Config</source>
        <translation>系统配置</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="40"/>
        <source>Normal</source>
        <translation>常规</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="41"/>
        <source>CameraParam</source>
        <translation>摄像机参数</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="42"/>
        <source>EncodeMedia</source>
        <translation>编码</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="43"/>
        <source>Alarm Config</source>
        <translation>报警配置</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="44"/>
        <source>Motion Detect</source>
        <translation>移动侦测</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="69"/>
        <source>Device Config</source>
        <translation>设备配置</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="82"/>
        <source>Reading the device&apos;s configuration...</source>
        <translation>正在读取设备配置…</translation>
    </message>
    <message>
        <location filename="../../src/config/COtherConfigDlg.cpp" line="91"/>
        <source>Save</source>
        <translation>保存</translation>
    </message>
</context>
<context>
    <name>CRealplayDlg</name>
    <message>
        <location filename="../../src/media/CRealplayDlg.cpp" line="123"/>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../../src/media/CRealplayDlg.cpp" line="124"/>
        <source>Start RealPlay Fail</source>
        <translation>开始预览失败</translation>
    </message>
    <message>
        <location filename="../../src/media/CRealplayDlg.cpp" line="124"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>CTitleBar</name>
    <message>
        <location filename="../../src/widgets/CTitleBar.cpp" line="19"/>
        <source>Min</source>
        <translation>最小化</translation>
    </message>
    <message>
        <location filename="../../src/widgets/CTitleBar.cpp" line="20"/>
        <source>Max</source>
        <translation>最大化</translation>
    </message>
    <message>
        <location filename="../../src/widgets/CTitleBar.cpp" line="21"/>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
</context>
<context>
    <name>CVantrel</name>
    <message>
        <location filename="../../src/app/BuildInfo.cpp" line="21"/>
        <source>Vantrel</source>
        <translation>Vantrel</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="175"/>
        <source>Network is error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="177"/>
        <source>System is busying</source>
        <translation>系统忙</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="179"/>
        <source>Login timeout</source>
        <translation>登录超时</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="181"/>
        <source>Password is error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="183"/>
        <source>The user is not existed</source>
        <translation>用户不存在</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="185"/>
        <source>The user is locked</source>
        <translation>用户已被锁定</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="187"/>
        <source>The user is in blacklist</source>
        <translation>用户在黑名单中</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="189"/>
        <source>The user has logined</source>
        <translation>用户已登录</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="191"/>
        <source>Cann&apos;t find the device</source>
        <translation>找不到设备</translation>
    </message>
    <message>
        <location filename="../../src/device/DeviceRecords.cpp" line="193"/>
        <source>Unknow Error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="273"/>
        <source>Devices are being configured, search again when the work has finished</source>
        <translation>正在配置设备，请在完成后再搜索</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="275"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="320"/>
        <source>SelectAll</source>
        <translation>全选</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="320"/>
        <source>UnSelectAll</source>
        <translation>取消全选</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="354"/>
        <source>Dev No :</source>
        <translation>设备编号：</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="680"/>
        <source>Upgrade File(*.bin);;Files(*.*)</source>
        <translation>升级文件(*.bin);;所有文件(*.*)</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="685"/>
        <source>Config File(*.cfg)</source>
        <translation>配置文件(*.cfg)</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="20"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="405"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="717"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="788"/>
        <source>Login Success</source>
        <translation>登录成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="26"/>
        <source>Reset Config Filed</source>
        <translation>恢复出厂配置失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="27"/>
        <source>Reset Config Success</source>
        <translation>恢复出厂配置成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="37"/>
        <source>Set IP adaptive Success</source>
        <translation>设置IP自适应成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="38"/>
        <source>Set IP adaptive Failed</source>
        <translation>设置IP自适应失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="44"/>
        <source>ImportConfigFailed</source>
        <translation>导入配置失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="45"/>
        <source>ImportConfigSuccess</source>
        <translation>导入配置成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="50"/>
        <source>ImportConfigFailed: file larger than 128 KiB</source>
        <translation>导入配置失败：文件大于128 KiB</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="62"/>
        <source>Reset Config Successfully</source>
        <translation>恢复出厂配置成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="64"/>
        <source>Reboot Successfully</source>
        <translation>重启成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="69"/>
        <source>Reset Config Failed</source>
        <translation>恢复出厂配置失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/BatchTexts.cpp" line="71"/>
        <source>Reboot Failed</source>
        <translation>重启失败</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="463"/>
        <source>Prompt</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="468"/>
        <source>Tips</source>
        <translation>提示</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="364"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="378"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="492"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="581"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="746"/>
        <location filename="../../src/mainwindow/CVantrelUpgrade.cpp" line="63"/>
        <location filename="../../src/mainwindow/CVantrelUpgrade.cpp" line="111"/>
        <source>Configuring, please try again later</source>
        <translation>正在配置，请稍后再试</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="496"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="812"/>
        <source>Please select device first</source>
        <translation>请先选择设备</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="11"/>
        <source>No enough memory</source>
        <translation>内存不足</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="13"/>
        <source>Invaild upgrade packet</source>
        <translation>无效的升级包</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="15"/>
        <source>Some part upgrade fail</source>
        <translation>部分升级失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="17"/>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="77"/>
        <source>Invalid hardware</source>
        <translation>硬件不匹配</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="19"/>
        <source>Invalid vendor</source>
        <translation>厂商不匹配</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="21"/>
        <source>Invalid compalible</source>
        <translation>兼容性不匹配</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="23"/>
        <source>Invalid version</source>
        <translation>版本不匹配</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="25"/>
        <source>Invalid wifi drive</source>
        <translation>无线驱动不匹配</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="27"/>
        <source>Unknow error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="38"/>
        <source>Send Progress:</source>
        <translation>发送进度:</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="47"/>
        <source>Upgrade Progress:</source>
        <translation>升级进度:</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="52"/>
        <source>Start Upgrade</source>
        <translation>开始升级</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="57"/>
        <source>Upgrade Failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="62"/>
        <source>Upgrade Success</source>
        <translation>升级成功</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="67"/>
        <source>Upgrade Fail</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="72"/>
        <source>Upgrade TimeOut</source>
        <translation>升级超时</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="82"/>
        <source>connect Failed:</source>
        <translation>连接失败:</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="87"/>
        <source>select Failed:</source>
        <translation>等待数据失败:</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="92"/>
        <source>recv Error:</source>
        <translation>接收错误:</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="102"/>
        <source>UnZip Program Fail</source>
        <translation>解压升级包失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="107"/>
        <source>Open InstallDesc Fail</source>
        <translation>打开InstallDesc失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="112"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="593"/>
        <source>Please Select a Device</source>
        <translation>请选择设备</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="664"/>
        <source>Please Set IP Config first</source>
        <translation>请先设置IP配置</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="672"/>
        <source>Choose a file to open</source>
        <translation>选择要打开的文件</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="97"/>
        <source>Please Select a Program</source>
        <translation>请选择升级程序</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="690"/>
        <source>Devices are being configured, add the device when the work has finished</source>
        <translation>正在配置设备，请在完成后再添加设备</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="705"/>
        <source>The table is full: the device was not added</source>
        <translation>列表已满：未添加该设备</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="432"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="742"/>
        <source>Please add device first</source>
        <translation>请先添加设备</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="847"/>
        <source>StopMicro</source>
        <translation>停止监听</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="847"/>
        <source>StartMicro</source>
        <translation>开始监听</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="114"/>
        <location filename="../../src/batch/CIpModifier.cpp" line="165"/>
        <source>Set IP Fail</source>
        <translation>设置IP失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="136"/>
        <source>No free address</source>
        <translation>没有空闲地址</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="159"/>
        <source>Modify Success</source>
        <translation>修改成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="161"/>
        <source>Modify TimeOut</source>
        <translation>修改超时</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="163"/>
        <location filename="../../src/batch/CIpModifier.cpp" line="218"/>
        <location filename="../../src/batch/CConfigApplier.cpp" line="208"/>
        <source>Need Reboot</source>
        <translation>需要重启</translation>
    </message>
    <message>
        <location filename="../../src/batch/CIpModifier.cpp" line="223"/>
        <source>Set Ip Fail</source>
        <translation>设置Ip失败</translation>
    </message>
    <message>
        <location filename="../../src/media/CVoiceTalk.cpp" line="77"/>
        <source>OpenSoundShareFiled</source>
        <translation>打开声音共享失败</translation>
    </message>
    <message>
        <location filename="../../src/media/CVoiceTalk.cpp" line="93"/>
        <location filename="../../src/media/CVoiceTalk.cpp" line="112"/>
        <source>StartVoiceComError</source>
        <translation>开始对讲出错</translation>
    </message>
    <message>
        <location filename="../../src/media/CVoiceTalk.cpp" line="97"/>
        <source>OpenTalkFiled</source>
        <translation>打开对讲失败</translation>
    </message>
    <message>
        <location filename="../../src/media/CVoiceTalk.cpp" line="213"/>
        <source>OpenFileFailed</source>
        <translation>打开文件失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="65"/>
        <source>Set DHCP Failed</source>
        <translation>设置DHCP失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="67"/>
        <source>Set IpAdaptive Failed</source>
        <translation>设置IP自适应失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="82"/>
        <source>Set Camera Failed</source>
        <translation>设置摄像机参数失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="90"/>
        <source>Set HumanDetection Failed</source>
        <translation>设置人形检测失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="93"/>
        <source>Set MOTION Failed</source>
        <translation>设置移动侦测失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="100"/>
        <source>Set Volume Failed</source>
        <translation>设置音量失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="178"/>
        <source>Set Ntp Failed</source>
        <translation>设置NTP失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="180"/>
        <source>Set NetCloud Failed</source>
        <translation>设置云服务失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="182"/>
        <source>Set NetPMS Failed</source>
        <translation>设置推送服务失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="190"/>
        <source>Set Normal Failed</source>
        <translation>设置常规配置失败</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="203"/>
        <source>Modify Config Success</source>
        <translation>修改配置成功</translation>
    </message>
    <message>
        <location filename="../../src/batch/CConfigApplier.cpp" line="109"/>
        <source>Set Encode Failed</source>
        <translation>设置编码失败</translation>
    </message>
    <message>
        <location filename="../../src/upgrade/UpgradeTexts.cpp" line="33"/>
        <source>Writing firmware (ONVIF reports no progress)</source>
        <translation>正在写入固件（ONVIF 不报告进度）</translation>
    </message>
</context>
<context>
    <name>CVantrelClass</name>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="45"/>
        <source>Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="52"/>
        <source>Reverse</source>
        <translation>反选</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="59"/>
        <source>MainStream</source>
        <translation>主码流</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="99"/>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="106"/>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="113"/>
        <source>SetIP</source>
        <translation>设置IP</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="123"/>
        <location filename="../../src/mainwindow/CVantrel.ui" line="161"/>
        <source>DoModify</source>
        <translation>执行修改</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="130"/>
        <source>Open DHCP</source>
        <translation>开启DHCP</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="137"/>
        <source>Close DHCP</source>
        <translation>关闭DHCP</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="144"/>
        <source>ResetConfig</source>
        <translation>恢复出厂设置</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="151"/>
        <source>OtherConfig</source>
        <translation>其他配置</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="168"/>
        <source>Micro</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="175"/>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="202"/>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="254"/>
        <source>ConfigFile</source>
        <translation>配置文件</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="264"/>
        <location filename="../../src/mainwindow/CVantrel.ui" line="298"/>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="284"/>
        <source>FileName</source>
        <translation>文件名</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.ui" line="305"/>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="63"/>
        <source>Login</source>
        <translation>登录</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="77"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="80"/>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="111"/>
        <source>IP Address</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="113"/>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="115"/>
        <source>User Name</source>
        <translation>用户名</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="117"/>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="169"/>
        <source>Network is error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="171"/>
        <source>System is busying</source>
        <translation>系统忙</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="173"/>
        <source>Login timeout</source>
        <translation>登录超时</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="175"/>
        <source>Password is error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="177"/>
        <source>The user is not existed</source>
        <translation>用户不存在</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="179"/>
        <source>The user is locked</source>
        <translation>用户已被锁定</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="181"/>
        <source>The user is in blacklist</source>
        <translation>用户在黑名单中</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="183"/>
        <source>The user has logined.</source>
        <translation>用户已登录。</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="185"/>
        <source>Cann&apos;t find the device.</source>
        <translation>找不到设备。</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="187"/>
        <source>Unknow Error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="213"/>
        <location filename="../../src/device/LoginDlg.cpp" line="247"/>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <location filename="../../src/device/LoginDlg.cpp" line="214"/>
        <source>The address must be four numbers from 0 to 255, such as 192.168.1.10</source>
        <translation>地址须为四个 0 到 255 之间的数字，例如 192.168.1.10</translation>
    </message>
</context>
<context>
    <name>QDialogButtonBox</name>
    <message>
        <location filename="../../src/widgets/CMessageBox.cpp" line="74"/>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="56"/>
        <location filename="../../src/device/LoginDlg.cpp" line="215"/>
        <location filename="../../src/device/LoginDlg.cpp" line="249"/>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="207"/>
        <source>NO.</source>
        <translation>序号</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="207"/>
        <source>IP Address</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="208"/>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="208"/>
        <source>Destribe</source>
        <translation>描述</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="209"/>
        <source>Mac Address</source>
        <translation>MAC地址</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="209"/>
        <source>CloudID</source>
        <translation>云ID</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="210"/>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <location filename="../../src/mainwindow/CVantrel.cpp" line="210"/>
        <source>BuildDate</source>
        <translation>编译日期</translation>
    </message>
</context>
</TS>
