<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CVantrel</name>
    <message>
        <source>Vantrel</source>
        <translation>Vantrel</translation>
    </message>
    <message>
        <source>Network is error</source>
        <translation>网络错误</translation>
    </message>
    <message>
        <source>System is busying</source>
        <translation>系统忙</translation>
    </message>
    <message>
        <source>Login timeout</source>
        <translation>登录超时</translation>
    </message>
    <message>
        <source>Password is error</source>
        <translation>密码错误</translation>
    </message>
    <message>
        <source>The user is not existed</source>
        <translation>用户不存在</translation>
    </message>
    <message>
        <source>The user is locked</source>
        <translation>用户已被锁定</translation>
    </message>
    <message>
        <source>The user is in blacklist</source>
        <translation>用户在黑名单中</translation>
    </message>
    <message>
        <source>The user has logined</source>
        <translation>用户已登录</translation>
    </message>
    <message>
        <source>Cann&apos;t find the device</source>
        <translation>找不到设备</translation>
    </message>
    <message>
        <source>Unknow Error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>SelectAll</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>UnSelectAll</source>
        <translation>取消全选</translation>
    </message>
    <message>
        <source>Dev No :</source>
        <translation>设备编号：</translation>
    </message>
    <message>
        <source>Login Success</source>
        <translation>登录成功</translation>
    </message>
</context>
<context>
    <name>CVantrelClass</name>
    <message>
        <source>Select</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>Reverse</source>
        <translation>反选</translation>
    </message>
    <message>
        <source>MainStream</source>
        <translation>主码流</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>搜索</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>添加</translation>
    </message>
    <message>
        <source>SetIP</source>
        <translation>设置IP</translation>
    </message>
    <message>
        <source>DoModify</source>
        <translation>执行修改</translation>
    </message>
    <message>
        <source>Open DHCP</source>
        <translation>开启DHCP</translation>
    </message>
    <message>
        <source>Close DHCP</source>
        <translation>关闭DHCP</translation>
    </message>
    <message>
        <source>ResetConfig</source>
        <translation>恢复出厂设置</translation>
    </message>
    <message>
        <source>OtherConfig</source>
        <translation>其他配置</translation>
    </message>
    <message>
        <source>Micro</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>ConfigFile</source>
        <translation>配置文件</translation>
    </message>
    <message>
        <source>Browse</source>
        <translation>浏览</translation>
    </message>
    <message>
        <source>FileName</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>NO.</source>
        <translation>序号</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP地址</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Destribe</source>
        <translation>描述</translation>
    </message>
    <message>
        <source>Mac Address</source>
        <translation>MAC地址</translation>
    </message>
    <message>
        <source>CloudID</source>
        <translation>云ID</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>版本</translation>
    </message>
    <message>
        <source>BuildDate</source>
        <translation>编译日期</translation>
    </message>
</context>
</TS>
